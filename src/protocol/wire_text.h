#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The code page of the texts that travel on the wire. Bar codes, device
// names and product texts are single-byte code-page text, in which a
// Chinese character takes two bytes (GBK) or, rarely, four (GB18030): packs
// set up by host tools on Chinese Windows systems hold GBK bytes.
//
// One setting for the whole process: the front ends choose it from BMS.ini
// (key WireEncoding) while loading the settings, before the first exchange;
// every text a pack command sends or receives goes through it. Reading and
// changing it is safe from any thread.

// The name that selects the system's own code page (the ANSI code page on
// Windows, the locale's encoding elsewhere).
inline constexpr const char* kSystemCodePage = "System";

// The code page used when none is configured: "System" on Windows, GB18030
// elsewhere (a superset of GBK and of ASCII).
QString DefaultWireEncoding();

// Selects the code page by name ("GB18030", "GBK", "windows-1252", "UTF-8",
// "System", ...); an empty name selects the default. A name this system
// cannot convert, or a code page that does not keep ASCII one byte per
// character (UTF-16, for one), selects the default too and returns false.
bool SetWireEncoding(const QString& name);
// The name in force.
QString WireEncoding();

// The text in the code page, whole characters only: with maxBytes >= 0 the
// text is cut before the first character that would not fit, so no
// character is ever split. A character the code page cannot carry goes as
// "?".
QByteArray EncodeWireText(QStringView text, qsizetype maxBytes = -1);
// Bytes in the code page as text; bytes that form no character become
// U+FFFD.
QString DecodeWireText(QByteArrayView bytes);
