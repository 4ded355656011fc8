#pragma once

#include "params/parameter_info.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// Parameter files ("*.prt"): a header line and one line per used entry of a
// set, six comma-separated fields each, lines ended by CR LF, text in the
// system's code page:
//
//   id (at least three digits), value ("0.000"), unit, minimum ("0.000"),
//   maximum ("0.000"), name
//
// Only the id and the value are read back; the header line and the other
// fields are for people reading the file. Numbers are always written and
// read with "." as the decimal point, whatever the user's number settings:
// a comma would split the value in two, and a file must read the same on
// every PC it is carried to.

inline constexpr const char* kParameterFileExtension = "prt";
inline constexpr const char* kParameterFileFilter = "Parameter|*.prt";

// Text ids of the six header columns, in file order: id, value, unit,
// minimum, maximum, name.
inline constexpr std::array<std::uint16_t, 6> kParameterFileHeaderTextIds = {0x7101, 0x7102, 0x7103,
                                                                           0x7104, 0x7105, 0x7106};

// What the export writes beside the numbers, in the current language.
struct RParameterFileTexts {
    std::array<QString, 6> header;  // texts of kParameterFileHeaderTextIds
    std::uint8_t language = 0;      // 0 Chinese names, 1 English names
    std::function<QString(std::uint8_t unitCode)> unitText;  // none: empty units
};

struct RParameterFileResult {
    bool ok = false;
    // Why the file could not be written or read, for the message box.
    QString errorText;
    // Export only: the first ranged entry outside its range; nothing was written.
    std::optional<RParameterKind> outOfRange;
    // Import only: entry lines applied to the set (also those before a failure).
    int linesApplied = 0;
};

// The pieces between separators, in order: "a,,b" gives "a", "", "b"; a
// trailing separator gives a last empty piece; no separator gives the text.
QStringList SplitText(const QString& text, QChar separator);

// The file's text for the set, header line included.
QByteArray FormatParameterFile(const RParameter& set, const RParameterFileTexts& texts);

// Checks the ranged entries as writing to a pack does, then creates or
// replaces the file. The file is replaced only once it was written whole.
RParameterFileResult ExportParameterFile(const QString& path, const RParameter& set,
                                         const RParameterFileTexts& texts);

// Reads the file into the set: the first line is skipped, every other line
// sets the value at the position its id names. Entries the file does not
// mention keep their value. The first bad line (fewer than two fields, an id
// that is not a whole number in 0..254, a value that is not a number) ends
// the import with an error; the lines before it stay applied.
RParameterFileResult ImportParameterFile(const QString& path, RParameter& set);
