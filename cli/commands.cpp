// The command table: every command of bmstool with its forms, help and the
// function that checks its arguments. Help and dispatch both walk it.
#include "commands.h"

#include "services/settings.h"
#include "protocol/result_codes.h"
#include "services/text_ids.h"
#include "services/traffic_text.h"
#include "store/devinfo.h"

#include <array>

namespace {

constexpr OptionSpec kParamsOptions[] = {{"--out", true, OutputPath::File},
                                         {"--restore-defaults", false, OutputPath::None},
                                         {"--packs", true, OutputPath::None},
                                         {"--ref", true, OutputPath::None},
                                         {"--ref-pack", true, OutputPath::None},
                                         {"--yes", false, OutputPath::None}};
// --csv is a file for one pack and a folder with --packs: checked by the command.
constexpr OptionSpec kHistoryOptions[] = {{"--csv", true, OutputPath::None}, {"--packs", true, OutputPath::None}};
constexpr OptionSpec kTimeOptions[] = {{"--packs", true, OutputPath::None}};
// The outputs both poll and listen attach, with --reconnect.
constexpr OptionSpec kOutputOptions[] = {{"--reconnect", false, OutputPath::None},
                                         {"--csv", true, OutputPath::Folder},
                                         {"--mqtt", true, OutputPath::None},
                                         {"--mqtt-prefix", true, OutputPath::None},
                                         {"--mqtt-retain", false, OutputPath::None},
                                         {"--mqtt-queue", true, OutputPath::None},
                                         {"--mqtt-password-file", true, OutputPath::None},
                                         {"--metrics", true, OutputPath::None},
                                         {"--metrics-stale", true, OutputPath::None},
                                         {"--influx", true, OutputPath::None},
                                         {"--influx-db", true, OutputPath::None},
                                         {"--influx-token", true, OutputPath::None},
                                         {"--influx-token-file", true, OutputPath::None},
                                         {"--influx-timeout", true, OutputPath::None},
                                         {"--spool-mb", true, OutputPath::None},
                                         {"--spool-dir", true, OutputPath::None}};

template <std::size_t N>
constexpr auto WithOutputOptions(const OptionSpec (&own)[N])
{
    std::array<OptionSpec, N + std::size(kOutputOptions)> all{};
    std::size_t k = 0;
    for (const OptionSpec& option : own)
        all[k++] = option;
    for (const OptionSpec& option : kOutputOptions)
        all[k++] = option;
    return all;
}

constexpr OptionSpec kPollOwnOptions[] = {{"--packs", true, OutputPath::None},
                                          {"--count", true, OutputPath::None},
                                          {"--interval", true, OutputPath::None}};
constexpr auto kPollOptions = WithOutputOptions(kPollOwnOptions);
constexpr OptionSpec kListenOwnOptions[] = {{"--window", true, OutputPath::None}};
constexpr auto kListenOptions = WithOutputOptions(kListenOwnOptions);

constexpr OptionSpec kScanOptions[] = {{"--from", true, OutputPath::None},
                                       {"--to", true, OutputPath::None},
                                       {"--timeout", true, OutputPath::None}};

constexpr OptionSpec kReportOptions[] = {{"--packs", true, OutputPath::None},
                                         {"--pdf", true, OutputPath::None},
                                         {"--html", true, OutputPath::None},
                                         {"--ref", true, OutputPath::None},
                                         {"--ref-pack", true, OutputPath::None},
                                         {"--no-logs", false, OutputPath::None}};
constexpr std::array<CommandSpec, 23> kCommands = {{
    {"analog", "analog", "read the pack's measurements",
     "Voltage, current, cell voltages and temperatures, capacities, cycles, SOC, SOH, balancing and humidity.\n"
     "Another maker's pack: its family, its cells and temperatures by what they measure (temps_C the cell\n"
     "sensors, board_C, ambient_C, fet_C), SOC and SOH only where it sends them, and what only it sends\n"
     "(design_Ah, port_voltage_V, charged_Ah, discharged_Ah, charged_kWh, discharged_kWh, charging_h,\n"
     "discharging_h, charges, discharges, highest_cell_temp_C, lowest_cell_temp_C).",
     "bmstool --port COM3 --address 2 analog --json", {}, PrepareAnalog},
    {"alarm", "alarm", "read limit states, status bytes and the alarms they set",
     "Cell and temperature limit states, current and voltage states, the sixteen status bytes, the short-circuit\n"
     "word and every alarm, protection, fault and state bit that is set. Another maker's pack: its family,\n"
     "its limit states and its status bytes by its family's names (status_bytes), cell_faults the cells\n"
     "whose fault bit is set.",
     "bmstool --port /dev/ttyUSB0 alarm", {}, PrepareAlarm},
    {"time", "time | time set \"YYYY-MM-DD HH:MM:SS\" | time sync [--packs LIST|all]", "read or set the pack clock",
     "\"time sync\" sets the pack clock to this computer's clock. With --packs it sets the clock of each pack\n"
     "listed (\"1-16\", \"1,3,5\", all: 1 to the PackCount of BMS.ini) and prints, per pack, its offset from\n"
     "this computer's clock before the sync and the result; it exits 0 only when every clock was set.",
     "bmstool time set \"2024-05-01 08:00:00\"", kTimeOptions, PrepareTime},
    {"info", "info", "read the device name, software version and maker",
     "An address whose family is not known yet is read first (live values, our form and then every\n"
     "family's) to learn it; another maker's pack gives its family's identity reads (serial number and\n"
     "firmware version where the family has them).",
     "bmstool info --json", {}, PrepareInfo},
    {"barcode", "barcode | barcode set TEXT", "read or write the bar code",
     "TEXT is trimmed; 1 to 30 characters (30 bytes in UTF-8).", "bmstool barcode set PK-2024-0001", {},
     PrepareBarCode},
    {"capacity", "capacity | capacity set DESIGN FULL REMAINING", "read or write the capacities (mAh)",
     "Whole mAh, 0-655350 each; the pack keeps them in steps of 10 mAh (12345 is stored as 12340).",
     "bmstool capacity set 100000 98000 50000", {}, PrepareCapacity},
    {"cycles", "cycles set N", "write the cycle count", "N: 0-9999. Read it back with \"analog\".",
     "bmstool cycles set 120", {}, PrepareCycles},
    {"packs", "packs | packs set N", "read or write the number of packs on the bus", "N: 1-16.",
     "bmstool packs set 4", {}, PreparePacks},
    {"record-time", "record-time set HH:MM HH:MM SECONDS", "set the daily recording window and interval",
     "Start and end as HH:MM (00:00-23:59); the interval in seconds, 0-65535.",
     "bmstool record-time set 00:00 23:59 60", {}, PrepareRecordTime},
    {"delete", "delete work|alarm", "erase the work-data log or the alarm log", "", "bmstool delete alarm", {},
     PrepareDelete},
    {"calibration", "calibration read KIND ITEM | calibration write KIND ITEM FIRST SECOND | calibration reset KIND ITEM",
     "read, calibrate or reset a calibration item",
     "KIND ITEM: 1 11 voltage reference, 1 12 pack voltage (mV); 2 22 charging current, 2 21 zero-point\n"
     "current, 2 23 discharging current (mA); 3 1-4 cell temperature sensors, 3 5 ambient, 3 6 FET (degC).\n"
     "Voltages and currents are whole numbers; temperatures have at most one decimal (steps of 0.1 degC).\n"
     "Every value must fit the 32 bits it travels in. The packs expect a negative value one higher on the\n"
     "wire: -5 mA goes out as -4, -2.5 degC (-25 tenths) as -24 tenths; --trace shows both numbers.",
     "bmstool calibration write 2 21 0 -5", {}, PrepareCalibration},
    {"product", "product | product set COMPANY DATE MODULE VERSION TYPE SERIAL REMARK",
     "read or write the seven product texts",
     "Each text at most 30 bytes (DATE at most 10 characters); all but DATE must be non-empty.",
     "bmstool product set \"ACME\" 2024-05-01 M16 V1.2 LFP SN0001 \"rack A\"", {}, PrepareProduct},
    {"location", "location", "read the communication and location module", "", "bmstool location --json", {},
     PrepareLocation},
    {"switches", "switches WORD", "write the function switches and show those in force",
     "WORD: 0-65535, decimal or 0x hex.", "bmstool switches 0x01F8", {}, PrepareSwitches},
    {"shield", "shield | shield set MASK", "read or write the battery shield mask",
     "MASK: 0-4294967295, decimal or 0x hex.", "bmstool shield set 0x00000003", {}, PrepareShield},
    {"discharge", "discharge | discharge set AH KWH", "read or write the accumulated discharge",
     "AH in steps of 0.1 Ah, KWH in steps of 0.01 kWh; finer digits are dropped as the pack stores them.",
     "bmstool discharge set 1234.5 61.72", {}, PrepareDischarge},
    {"sleep", "sleep", "send the pack to sleep", "", "bmstool --address 3 sleep", {}, PrepareSleep},
    {"params", "params read [--out FILE.prt] | params write FILE.prt [--restore-defaults]\n"
               "     | params compare --packs LIST [--ref FILE.prt | --ref-pack N] | params write FILE.prt --packs LIST [--yes]",
     "read the parameters (and save them to a file), write a parameter file, compare or write many packs",
     "\"params write\" reads the pack's block first, so that what the file does not carry keeps the pack's\n"
     "values; then it imports the file over it, checks every range, writes, reads back and prints the set.\n"
     "\"params compare\" reads every pack listed and prints the parameters that differ from the reference\n"
     "(the file, the pack N, or else the first pack listed); the RS485 address (id 1) and node number\n"
     "(id 11) are never differences. It exits 1 when a pack could not be read (named on standard error).\n"
     "With --packs, \"params write\" does the same for each pack in turn (more than one needs --yes): each\n"
     "keeps its own address and node number, a pack that fails is reported and the next goes on; one line\n"
     "per pack, and exit 0 only when every pack was written and verified.",
     "bmstool params read --out pack1.prt", kParamsOptions, PrepareParams},
    {"history", "history work|alarm [--csv FILE] | history work|alarm --packs LIST [--csv DIR]",
     "read the whole work-data or alarm log",
     "Record by record until the pack reports the end of its log. Ctrl-C stops the transfer cleanly\n"
     "(the pack is told to stop). With --csv the records go to FILE as they come. With --packs each pack's\n"
     "log is read in turn, into one file per pack in DIR: work_PACK_yyyyMMddHHmmss.csv for the work-data\n"
     "log, alarm_PACK_yyyyMMddHHmmss.csv for the alarm log (PACK the pack number, then the time the run\n"
     "began). A pack that does not answer is reported and skipped, and the exit status is 0 only when\n"
     "every log was read whole.",
     "bmstool history alarm --csv alarms.csv", kHistoryOptions, PrepareHistory},
    {"poll", "poll [--packs LIST|auto] [--count N] [--interval MS] [--csv DIR] [--reconnect]\n"
             "     [--mqtt mqtt://[USER[:PASSWORD]@]HOST[:PORT] [--mqtt-prefix P] [--mqtt-retain] [--mqtt-queue N]\n"
             "      [--mqtt-password-file FILE]] [--metrics [ADDRESS:]PORT [--metrics-stale S]]\n"
             "     [--influx URL [--influx-db DB] [--influx-token TOKEN|--influx-token-file FILE] [--influx-timeout S]\n"
             "      [--spool-mb N] [--spool-dir DIR]]",
     "poll packs as the main window does, one line per reading",
     "Without --packs the pack at --address gets the full cycle (clock, bar code, device information,\n"
     "analog, alarm), and so does a LIST of one pack. A LIST of several (\"1,2,5-8\") or auto (packs 1 to\n"
     "the PackCount of BMS.ini) polls analog and alarm of each pack in turn. --count N: N passes (default: until Ctrl-C); --interval MS: pause\n"
     "between passes (0-3600000). --csv DIR: one real-time log file per pack, appended as readings come.\n"
     "A port that goes away (the adapter pulled) ends the run with exit status 1; with --reconnect the run\n"
     "waits for it to come back and polls on, with one line when the port is lost and one when it is back.\n"
     "A new log file per pack starts at local midnight.\n"
     "--mqtt: each pack's readings also go to the broker as JSON on P/<bar code or pack>/state (P: bms),\n"
     "with P/<id>/availability, P/availability (\"offline\" as last will) and Home Assistant discovery\n"
     "messages; --mqtt-retain retains the state too. Publishing never holds up polling: up to N readings\n"
     "(default 1000) wait while the broker is away, the oldest readings are dropped beyond that. The\n"
     "password may also come from the first line of FILE or from BMS_MQTT_PASSWORD.\n"
     "--metrics: serves the latest readings at http://ADDRESS:PORT/metrics for Prometheus (ADDRESS: 127.0.0.1;\n"
     "0.0.0.0 or * for every address; PORT 0: any free one, printed); a pack's readings are dropped after S\n"
     "seconds without an answer (default 60), bms_pack_up stays at 0. A port in use is reported, polling goes\n"
     "on and the port is tried again every 10 s; the exit status is 1 when it was never served.\n"
     "--influx URL: every reading also goes, as InfluxDB line protocol, to URL (http://HOST:PORT gets\n"
     "/write, as VictoriaMetrics and InfluxDB 1.x take it; InfluxDB 2.x: http://HOST:8086/api/v2/write?org=O)\n"
     "at most once a second; --influx-db DB sets db= (bucket= for /api/v2/write); --influx-token TOKEN (or\n"
     "the first line of --influx-token-file FILE, or BMS_INFLUX_TOKEN) is sent as \"Authorization: Token\".\n"
     "A request unanswered for S seconds (default 20) has failed; only lines answered with 2xx count as\n"
     "sent. What the server does not take waits in a spool on disk (DIR, default influx-spool in the\n"
     "user's data folder; N MiB, default 64, fractions allowed) and is sent, oldest first, with its own time\n"
     "stamps, when it answers again, also by the next run; what does not fit is dropped and counted. A\n"
     "redirect is not followed (the message names its Location). Of a batch refused with 400 only the\n"
     "refused lines are dropped; other 4xx (not 408 or 429) drop the batch. At the end the run sends for\n"
     "up to 5 s and prints sent/spooled/dropped/rejected; lines dropped or refused make the exit status 1.",
     "bmstool --json poll --packs 1-4 --count 10 --csv logs", kPollOptions, PreparePoll},
    {"listen", "listen [--window MS] [--csv DIR] [--reconnect] [--mqtt URL [--mqtt-prefix P] [--mqtt-retain]\n"
               "       [--mqtt-queue N] [--mqtt-password-file FILE]] [--metrics [ADDRESS:]PORT [--metrics-stale S]]\n"
               "       [--influx URL [--influx-db DB] [--influx-token TOKEN|--influx-token-file FILE]\n"
               "        [--influx-timeout S] [--spool-mb N] [--spool-dir DIR]]",
     "hear a bus that another master polls, sending nothing, one line per exchange",
     "Reads what the line carries in both directions and sends nothing at all. Each answer is paired with\n"
     "the request before it to the same address and decoded as polling decodes it; one line per exchange:\n"
     "time, address, command, result (ok, pack_error, no_answer, refused_length, overlapped, late_answer,\n"
     "answered_twice, unpaired, unknown_command, bad_frame) and the main values (voltage, current, SOC,\n"
     "lowest and highest cell; the alarms set). A request the master follows with its next one got no\n"
     "answer (a silent pack counts as down in every output, as in poll); an answer after that is\n"
     "late_answer; overlapped is a request asked again sooner than a master gives up (a second master).\n"
     "Half an answer and then a quiet line is a bad frame (cut_off, code 170). --json: one object per\n"
     "exchange with the decoded record. --window MS: the reply window of every command (1-60000; default\n"
     "each command's own, as polling waits). --csv DIR and --mqtt, --metrics and --influx as for poll,\n"
     "from what is heard; MQTT names a pack by its number (P/<pack>/state) from its first reading and\n"
     "adds the bar code when it is heard. Ctrl-C ends the run and prints the bus summary: per address\n"
     "requests, answers, no answers, bad frames by reason, answer time (min/median/max) and the master's\n"
     "polling period. A port that goes away ends the run with exit status 1 unless --reconnect is given\n"
     "(then standard error says when it went and came back, and the summary counts port_lost and\n"
     "port_away_ms); a run that heard no sound frame ends with exit status 1. SIGTERM and SIGHUP end the\n"
     "run as Ctrl-C does.",
     "bmstool --port /dev/ttyUSB0 --baud 9600 listen --csv logs", kListenOptions, PrepareListen},
    {"scan", "scan [--from A] [--to B] [--timeout MS]", "find which addresses on the bus answer",
     "Asks each address from A to B (default 1 to 16, 0-255) for its live values in every family's form\n"
     "(reads only), then for its identity in the family found, and prints one line per address that\n"
     "answered: its family (ours, A-D); ours with bar code, software version and the pack number it\n"
     "echoes, another maker's with its identity; an answer that fits no family, two families at one\n"
     "address or a pinned family the answers do not fit as family unknown with the problem and why\n"
     "(VER, CID1 and user-defined count found). Then the addresses found. --timeout MS: reply window of each exchange (50-10000, default\n"
     "700). --address is not used. Ctrl-C stops after the current address.",
     "bmstool --port tcp://192.0.2.10:4196 scan --to 8", kScanOptions, PrepareScan},
    {"report", "report --packs LIST --pdf FILE [--html FILE] [--ref FILE | --ref-pack N] [--no-logs]",
     "write a service report of the packs",
     "Reads each pack of LIST (\"1-16\", \"1,3,5\", \"all\") afresh: identity, clock offset, state, cells,\n"
     "temperatures, alarms now, the alarm and work-data logs (not with --no-logs) and, with --ref, the\n"
     "parameters that differ from that parameter file (the ids it names), or with --ref-pack N from the\n"
     "set of pack N, read first (its address and node number never count). Writes the report as a PDF (and a self-contained\n"
     "HTML file) in the chosen language, each pack marked OK, Incomplete, Watch or Service with the reasons\n"
     "and what could not be read. The files are checked before any pack is read and replaced only when\n"
     "complete. Exit 1 when a pack is silent or incomplete or the reference pack could not be read (the\n"
     "files are written), or when the port went away (nothing written). Ctrl-C writes nothing.\n"
     "With --json (before or after \"report\") --pdf is optional: one object per pack (type report_pack) with\n"
     "its reach, answered, level (ok, incomplete, watch, service, no_answer, not_tried, port_lost), findings\n"
     "as values (rule, level, value, limit, unit; sensor or alarm_code and last where the rule has them) and\n"
     "unread reads (command, result), then one object for the rack (type report: made, reference,\n"
     "reference_pack, reference_result, packs, complete, cancelled, port_lost). The exit status is the same.",
     "bmstool --port simulator report --packs 1-4 --pdf rack.pdf --html rack.html", kReportOptions,
     PrepareReport},
}};

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

std::span<const CommandSpec> Commands()
{
    return kCommands;
}

const CommandSpec* FindCommand(const QString& name)
{
    for (const CommandSpec& command : kCommands)
        if (name == Text(command.name))
            return &command;
    return nullptr;
}

QString GeneralHelp()
{
    QString text = QStringLiteral(
        "usage: bmstool [--port COMn|DEVICE|tcp://HOST:PORT|simulator] [--baud N] [--rs485 MODE] [--address A]\n"
        "               [--family ADR:FAMILY]... [--lang zh|en] [--json] [--trace] COMMAND [ARGS]\n\n"
        "  --port      the port as the main window numbers it (COM3), a device path, an RS485 gateway\n"
        "              in raw TCP mode (tcp://192.0.2.10:4196), or simulator\n"
        "              (default: the Port of BMS.ini)\n"
        "  --baud      line speed (default: the BaudRate of BMS.ini, else 9600)\n"
        "  --rs485     kernel RS485 direction control (Linux): off, rts-on-send or rts-after-send,\n"
        "              with optional delays in ms before and after sending (rts-on-send:1:1);\n"
        "              only for boards that wire the transceiver to RTS (default: COMn.RS485\n"
        "              of [Ports] in BMS.ini, else off)\n"
        "  --address   pack address 1-16, also sent as the pack number (default 1)\n"
        "  --family    ADR:FAMILY (repeatable): the pack at address ADR is of family ours, A, B, C or D\n"
        "              for this run (over a pin of BMS.ini); it is read in that family and never\n"
        "              detected. Another family's pack is only read: every other command is refused\n"
        "  --lang      language of error texts and log headers (default: TextKind of BMS.ini)\n"
        "  --json      one JSON object per answer or reading\n"
        "  --trace     every exchange on the link on standard error: times, address, command,\n"
        "              result, request and answer bytes\n\n"
        "commands:\n");
    for (const CommandSpec& command : kCommands)
        text += QStringLiteral("  %1%2\n").arg(Text(command.name).leftJustified(13), Text(command.summary));
    text += QStringLiteral(
        "\n\"bmstool COMMAND --help\" explains a command. Exit status: 0 success, 1 the command failed\n"
        "(the error text on standard error), 2 bad arguments (nothing was sent).\n");
    return text;
}

QString CommandHelp(const CommandSpec& command)
{
    QString text = QStringLiteral("usage: bmstool [OPTIONS] %1\n\n%2\n").arg(Text(command.usage),
                                                                            Text(command.summary));
    if (!command.details.empty())
        text += Text(command.details) + QLatin1Char('\n');
    text += QStringLiteral("\nexample:\n  %1\n").arg(Text(command.example));
    return text;
}

Session::Session(TDevInfo& store, AppGlobals& globals, const Output& output, std::uint8_t address,
                 const QString& portLabel)
    : m_store(store), m_globals(globals), m_output(output), m_address(address), m_portLabel(portLabel)
{
}

namespace {

QString Hex(std::uint8_t value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

// What an answer that fits no family had.
QString MisfitText(const RFamilyFit& fit)
{
    const QString text = QStringLiteral("VER %1, CID1 %2").arg(Hex(fit.version), Hex(fit.cid1));
    // A refusal (RTN) carries no live values to count.
    if (fit.rtn != 0)
        return text + QStringLiteral(", RTN %1").arg(Hex(fit.rtn));
    return text + (fit.userDefinedCount < 0 ? QStringLiteral(", ending before its user-defined count")
                                            : QStringLiteral(", user-defined count %1").arg(fit.userDefinedCount));
}

} // namespace

QString FamilyProblemWord(RPackFamilyState::Problem problem)
{
    switch (problem) {
    case RPackFamilyState::Problem::NoFit: return QStringLiteral("no_fit");
    case RPackFamilyState::Problem::TwoFamilies: return QStringLiteral("two_families");
    case RPackFamilyState::Problem::PinnedMisfit: return QStringLiteral("pinned_misfit");
    case RPackFamilyState::Problem::None: break;
    }
    return {};
}

QString FamilyProblemText(const RPackFamilyState& state)
{
    switch (state.problem) {
    case RPackFamilyState::Problem::NoFit:
        return QStringLiteral("its answer (%1) fits no family").arg(MisfitText(state.misfit));
    case RPackFamilyState::Problem::TwoFamilies:
        return QStringLiteral("packs of two families answer at this address (%1 and %2): check the addresses")
            .arg(FamilyName(state.family == PackFamily::Unknown ? state.misfit.family : state.family),
                 FamilyName(state.second));
    case RPackFamilyState::Problem::PinnedMisfit:
        return QStringLiteral("its answer (%1) does not fit the pinned family %2")
            .arg(MisfitText(state.misfit), FamilyName(state.family));
    case RPackFamilyState::Problem::None: break;
    }
    return {};
}

QString PackResultText(TDevInfo& store, std::uint8_t address, std::uint8_t result)
{
    const RPackFamilyState state = store.FamilyState(address);
    if (result == ResultCode::kForeignFamily && IsForeign(state.family))
        return store.TextOper().GetLanguageText(TextId::kForeignFamilyRefused).arg(address).arg(FamilyName(state.family));
    QString text = store.TextOper().GetErrorText(result);
    // A family that could not be told says why.
    if ((result == ResultCode::kFamilyUnknown || result == ResultCode::kFamilyMismatch)
        && state.problem != RPackFamilyState::Problem::None)
        text += QStringLiteral(" (pack %1: %2)").arg(address).arg(FamilyProblemText(state));
    return text;
}

int Session::failed(std::uint8_t result) const
{
    const bool familyResult = result == ResultCode::kForeignFamily || result == ResultCode::kFamilyUnknown
        || result == ResultCode::kFamilyMismatch;
    QString text = familyResult ? PackResultText(m_store, m_address, result)
                                : CommandResultText(result, PackReturnedLast(m_store.DevOper().Traffic(), result));
    if (result == ResultCode::kNoAnswer && !m_portLabel.isEmpty())
        text = m_store.TextOper().GetLanguageText(TextId::kResultOnPort).arg(text, m_portLabel);
    m_output.failure(text, result);
    return 1;
}

int Session::failed(const QString& message) const
{
    m_output.failure(message);
    return 1;
}

int Session::written(const QString& command) const
{
    if (m_output.json())
        m_output.print(OutputRecord(QStringLiteral("write")).text(QStringLiteral("command"), command)
                           .number(QStringLiteral("pack"), m_address)
                           .number(QStringLiteral("result"), 0));
    else
        m_output.printText(m_store.TextOper().GetLanguageText(TextId::kOperationSucceeded) + QLatin1Char('\n'));
    return 0;
}
