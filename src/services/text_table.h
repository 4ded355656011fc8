#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

// One table of texts: for each id its UTF-8 text in the three languages
// (0 Simplified Chinese, 1 English, 2 Traditional Chinese).
class TextTable {
public:
    static constexpr int kLanguageCount = 3;

    // Rows are tab-separated: id, Simplified Chinese, English, Traditional
    // Chinese. Ids are decimal or hexadecimal with "0x". Empty lines and
    // lines starting with '#' are skipped. A malformed row or a repeated id
    // is reported in errors ("line N: why") and left out.
    static TextTable Parse(QByteArrayView tsv, QStringList* errors = nullptr);

    // The text, or an empty array when the id or the language has none.
    QByteArray text(std::uint32_t id, std::uint8_t language) const;
    bool contains(std::uint32_t id) const;
    std::vector<std::uint32_t> ids() const; // ascending
    std::size_t size() const { return m_rows.size(); }

private:
    std::map<std::uint32_t, std::array<QByteArray, kLanguageCount>> m_rows;
};

enum class TextKind : std::uint8_t { Ui, Alarm, Error, Unit };

// The tables compiled into the program, parsed once on first use. Safe to
// call from any thread.
const TextTable& BuiltInTexts(TextKind kind);
// Problems found while parsing the built-in tables (empty when all is well).
QStringList BuiltInTextErrors();

// What the program shows of a text written into a buffer of bufferSize
// bytes: the bytes up to the first zero byte, at most bufferSize of them,
// cut back to the last whole UTF-8 character, then trimmed.
QString TextFromBuffer(QByteArrayView utf8, std::size_t bufferSize);

// Removes leading and trailing spaces and control characters.
QString TrimText(const QString& text);
