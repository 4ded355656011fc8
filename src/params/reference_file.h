#pragma once

#include "params/parameter_file.h"
#include "params/parameter_info.h"

#include <QString>

#include <cstdint>
#include <vector>

// A parameter file read as the reference of a compare or a report: the
// values it names over a blank set, the ids it names (only those are
// compared) and the file's name for the heading.
struct RReference {
    RParameter set;
    std::vector<std::uint8_t> ids;
    std::vector<RParameterFileLine> lines;   // as read, for writing them to packs
    QString name;
};

enum class ReferenceFileFault : std::uint8_t {
    None,
    Unreadable,     // the file could not be read, or a line was refused (detail names it)
    NoParameters,   // the file names no parameter: there is nothing to compare with
    Refused,        // an id given twice, or more decimals than shown (detail names the lines)
};

struct RReferenceFile {
    ReferenceFileFault fault = ReferenceFileFault::None;
    // The parameter file's own words on what is wrong; empty for None and
    // NoParameters.
    QString detail;
    int errorLine = 0;   // Unreadable: the line refused (0: the file as a whole)
    RReference reference;
};

// Reads and checks a reference file. Every front end that takes a reference
// file calls this, so the same file is refused the same way everywhere.
RReferenceFile LoadReferenceFile(const QString& path);
