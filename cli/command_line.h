#pragma once

#include "protocol/pack_family.h"
#include "protocol/rs485.h"

#include "services/input_text.h"
#include "store/config_checks.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

// The command line of bmstool: options that apply to every command, the
// command word, and the command's own words and options.
//
//   bmstool [--port P] [--baud N] [--rs485 MODE] [--address A] [--family ADR:FAMILY]...
//           [--lang zh|en] [--json] [--trace] COMMAND [ARGS]
//
// Global options may stand anywhere, before or after the command; an option
// takes its value as the next word or after "=". Words that start with a
// single "-" are values ("-5" is a number), so negative numbers need no
// escaping; "--" ends the options.

struct GlobalOptions {
    std::optional<QString> port;
    std::optional<std::int32_t> baudRate;
    std::optional<RRs485Mode> rs485;   // none: the port's setting in BMS.ini, else off
    std::uint8_t address = 1;
    std::optional<std::uint8_t> language;   // 0 Chinese, 1 English
    bool json = false;
    bool trace = false;   // every exchange on standard error
    // --family ADR:FAMILY, repeatable: the family of the pack at ADR for
    // this run, so that it is read in that family without being detected.
    std::vector<std::pair<std::uint8_t, PackFamily>> familyPins;
};

// "ADR:FAMILY" of --family, read as BMS.ini's pins are. Nothing, with the
// usage message, for anything else.
std::optional<std::pair<std::uint8_t, PackFamily>> ParseFamilyPinOption(const QString& text, QString& error);

struct CommandLine {
    GlobalOptions globals;
    QString command;      // empty: none given
    QStringList words;    // after the command, global options taken out
    bool help = false;    // --help or -h anywhere
};

// false with a message for the usage error.
bool ParseCommandLine(const QStringList& arguments, CommandLine& line, QString& error);

// What an option's value names when the command writes there; such paths
// are checked before the port is opened.
enum class OutputPath { None, File, Folder };

// An option a command accepts.
struct OptionSpec {
    std::string_view name;   // "--out"
    bool takesValue;
    OutputPath output;
};

struct CommandArgs {
    QStringList positional;
    QMap<QString, QString> options;   // given options; flags map to ""
    bool json = false;                // --json: values are printed, not text

    bool has(std::string_view name) const { return options.contains(QString::fromUtf8(name)); }
    QString value(std::string_view name) const { return options.value(QString::fromUtf8(name)); }
};

// Splits a command's words into its positional arguments and its options;
// an option the command does not know is a usage error.
bool SplitCommandArgs(const QStringList& words, std::span<const OptionSpec> options, CommandArgs& args,
                      QString& error);

// A mask: decimal, or hexadecimal with "0x"; at most the given maximum.
std::optional<std::uint64_t> ParseMask(QStringView text, std::uint64_t maximum);
