#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// A Windows-style INI text, read and edited in place: the one reader of
// BMS.ini, for the settings of [BMS] and the port map of [Ports] alike.
// Sections and keys match without regard to case, as Windows does, and of
// a key given twice in a section the first line counts, for reading and
// writing alike (of a section given twice, the first). Writing a key changes
// only that key's line (or adds one), so other sections, comments, the
// order of the lines and their line ends stay as they were; the port map in
// [Ports] and whatever else the user keeps in the file survive every write.
class IniDocument {
public:
    static IniDocument FromBytes(const QByteArray& bytes);
    QByteArray toBytes() const { return m_text; }

    // The value of the first line "key=value" in the section, trimmed.
    std::optional<QString> value(const QString& section, const QString& key) const;
    // The keys of the section in the order of their lines, each once (as
    // spelt on its first line).
    QStringList keys(const QString& section) const;
    // Replaces the key's value; a missing key is added at the end of its
    // section, a missing section at the end of the text.
    void setValue(const QString& section, const QString& key, const QString& value);
    // Removes the key's first line, if there is one.
    void removeKey(const QString& section, const QString& key);

private:
    QByteArray m_text;
};

// Reads one value from the INI file; none when the file, the section or the
// key is missing.
std::optional<QString> ReadIniValue(const QString& path, const QString& section, const QString& key);
// Writes one value into the INI file, creating the file when it is missing.
// The file is replaced as a whole on success, so a failed write leaves the
// old file. Returns false when the file could not be written.
bool WriteIniValue(const QString& path, const QString& section, const QString& key, const QString& value);
