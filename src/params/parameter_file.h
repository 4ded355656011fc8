#pragma once

#include "params/parameter_info.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

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

// One parameter line of a file: where it stands and what it sets.
struct RParameterFileLine {
    int lineNumber = 0;   // 1 is the first line of the file
    std::uint8_t id = 0;  // the position in the set
    Decimal value;
};

struct RParameterFileResult {
    bool ok = false;
    // Why the file could not be written or read, for the message box. An
    // import names the line ("Line 7: ...", errorLine), or the file when the
    // file as a whole could not be read.
    QString errorText;
    // Export only: the first ranged entry outside its range; nothing was written.
    std::optional<RParameterKind> outOfRange;
    // Import only: the line that was refused (0: none, or the file as a whole).
    int errorLine = 0;
    // Import only: the parameter lines applied to the set, in file order
    // (also those before a refused line).
    std::vector<RParameterFileLine> applied;
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

// Reads the text of a parameter file into the set, line by line (lines end
// in CR LF, LF or CR). The first
// line is a header and skipped unless it is itself a parameter line (a
// header never starts with a number). Every parameter line sets the value at
// the position its id names; entries the file does not mention keep their
// value. A parameter line has two fields (id,value: written by hand) or six
// (as exported, with numbers or nothing in the minimum and maximum fields).
// The first line that is not such a line ends the reading with an error
// that names it; the lines before it stay applied. Refused:
//   - any other number of fields: a value written with a decimal comma
//     ("3,601") splits into two fields and would otherwise read as 3;
//   - an id that is not a whole number in 0..254, a value that is not a number;
//   - a switch parameter set to anything but 0 or 1;
//   - a value that does not fit the block field that carries it.
// The catalogue's minimum and maximum are not checked here: writing checks them.
RParameterFileResult ReadParameterText(QByteArrayView text, RParameter& set);

// Reads the file (a regular file or a pipe) with ReadParameterText.
RParameterFileResult ImportParameterFile(const QString& path, RParameter& set);

// Sets the values of lines read before (by ReadParameterText) in the set.
void ApplyParameterLines(const std::vector<RParameterFileLine>& lines, RParameter& set);
