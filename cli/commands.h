#pragma once

#include "command_line.h"
#include "output.h"

#include "params/parameter_file.h"
#include "params/reference_file.h"
#include "protocol/devoper.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>
#include <span>
#include <string_view>

class TDevInfo;
struct AppGlobals;

// The text of a command's result for the pack at address, in the chosen
// language. A command refused because the pack is of another maker's
// family says so, naming the pack and its family; every other result is
// its error text. Every message of the tool that carries a pack's result
// goes through here.
QString PackResultText(TDevInfo& store, std::uint8_t address, std::uint8_t result);
// Why an address has no family, for a message: the answer that fits none
// (its VER, CID1 and user-defined count), two families at one address, or
// answers that do not fit the pinned family. Empty when there is no trouble.
QString FamilyProblemText(const RPackFamilyState& state);
// The trouble as a machine word: "no_fit", "two_families", "pinned_misfit";
// empty for none.
QString FamilyProblemWord(RPackFamilyState::Problem problem);

// What a command runs against once its arguments are known to be good and
// the port is open.
class Session {
public:
    // portLabel: the port as the user knows it ("COM1 (/dev/ttyS0)"), named
    // when nothing answers.
    Session(TDevInfo& store, AppGlobals& globals, const Output& output, std::uint8_t address,
            const QString& portLabel = {});

    TDevInfo& store() const { return m_store; }
    AppGlobals& globals() const { return m_globals; }
    const Output& out() const { return m_output; }
    // The frame address; the tool sends it as the pack number as well.
    std::uint8_t address() const { return m_address; }
    std::uint8_t pack() const { return m_address; }

    // The error text of the result (in the chosen language) on standard
    // error, and as an error line under --json; returns the exit status 1.
    // A code the pack itself returned is named as the pack's; no answer
    // names the port.
    int failed(std::uint8_t result) const;
    int failed(const QString& message) const;
    // A write the pack accepted: prints the answer and returns 0.
    int written(const QString& command) const;

private:
    TDevInfo& m_store;
    AppGlobals& m_globals;
    const Output& m_output;
    std::uint8_t m_address;
    QString m_portLabel;
};

// A command checked and ready: either the action to run with the port open,
// or why the arguments are wrong (then nothing is sent at all).
struct Prepared {
    std::function<int(Session&)> action;
    QString error;

    static Prepared Run(std::function<int(Session&)> action) { return Prepared{std::move(action), {}}; }
    static Prepared Usage(const QString& error) { return Prepared{{}, error}; }
};

using PrepareFunction = Prepared (*)(const CommandArgs& args);

// One row of the command table that the help and the dispatcher walk.
struct CommandSpec {
    std::string_view name;
    std::string_view usage;      // the forms the command takes
    std::string_view summary;    // one line for the overview
    std::string_view details;    // ranges and behaviour
    std::string_view example;
    std::span<const OptionSpec> options;
    PrepareFunction prepare;
};

std::span<const CommandSpec> Commands();
const CommandSpec* FindCommand(const QString& name);

// The prepare functions of the command groups.
Prepared PrepareAnalog(const CommandArgs& args);
Prepared PrepareAlarm(const CommandArgs& args);
Prepared PrepareLocation(const CommandArgs& args);
Prepared PreparePoll(const CommandArgs& args);
Prepared PrepareListen(const CommandArgs& args);
Prepared PrepareTime(const CommandArgs& args);
Prepared PrepareInfo(const CommandArgs& args);
Prepared PrepareBarCode(const CommandArgs& args);
Prepared PrepareCapacity(const CommandArgs& args);
Prepared PrepareCycles(const CommandArgs& args);
Prepared PreparePacks(const CommandArgs& args);
Prepared PrepareRecordTime(const CommandArgs& args);
Prepared PrepareDelete(const CommandArgs& args);
Prepared PrepareCalibration(const CommandArgs& args);
Prepared PrepareProduct(const CommandArgs& args);
Prepared PrepareSwitches(const CommandArgs& args);
Prepared PrepareShield(const CommandArgs& args);
Prepared PrepareDischarge(const CommandArgs& args);
Prepared PrepareSleep(const CommandArgs& args);
Prepared PrepareParams(const CommandArgs& args);
Prepared PrepareHistory(const CommandArgs& args);
Prepared PrepareScan(const CommandArgs& args);
Prepared PrepareReport(const CommandArgs& args);

// Work on many packs at once (--packs).
Prepared PrepareParamsCompare(const CommandArgs& args);
Prepared PrepareParamsWriteMany(const CommandArgs& args, const std::vector<RParameterFileLine>& lines);
Prepared PrepareTimeSyncMany(const CommandArgs& args);
// The packs of --packs ("all": 1 to the PackCount of BMS.ini); none with
// the message when the list is bad or missing.
std::optional<std::vector<std::uint8_t>> PacksOption(const CommandArgs& args, QString& error);

// A parameter file read and checked before anything is sent: its lines, or
// none with the message (naming the file and the refused line).
std::optional<std::vector<RParameterFileLine>> LoadParameterLines(const QString& file, QString& error);
// Why a reference file (--ref) was refused, naming the file and the line.
QString ReferenceFileMessage(const QString& file, const RReferenceFile& loaded);
// A value of the entry as "params read" shows it.
QString ParameterValueText(const RParameterKind& entry, Decimal value);

// Help texts.
QString GeneralHelp();
QString CommandHelp(const CommandSpec& command);
