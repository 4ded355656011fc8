// bmstool: every pack command from the command line, on the same core as
// the main window. Arguments are checked in full before the port is opened,
// so a wrong argument never reaches a pack.
#include "commands.h"
#include "interrupt.h"

#include "protocol/link.h"
#include "protocol/result_codes.h"
#include "protocol/tcp_link.h"
#include "services/port_settings.h"
#include "services/family_settings.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/traffic_text.h"
#include "sim_link.h"
#include "store/devinfo.h"
#include "store/port_open.h"

#include <QCoreApplication>
#include <QFileInfo>
#ifdef BMS_WITH_REPORT
#include <QApplication>
#endif

#include <memory>

namespace {

constexpr int kUsageStatus = 2;

int UsageError(const Output& output, const QString& message, const CommandSpec* command)
{
    output.failure(QStringLiteral("bmstool: %1").arg(message));
    output.error(command ? QStringLiteral("usage: bmstool [OPTIONS] %1\n(bmstool %2 --help explains it)")
                               .arg(QString::fromUtf8(command->usage.data(), qsizetype(command->usage.size())),
                                    QString::fromUtf8(command->name.data(), qsizetype(command->name.size())))
                         : QStringLiteral("see bmstool --help"));
    return kUsageStatus;
}

// A relative path such as "adapters/tty0" names that file, as "./adapters/tty0"
// does; the serial layer would look for it under /dev otherwise. A bare name
// ("ttyUSB0") keeps meaning the device in /dev.
QString PortPath(const QString& port)
{
    if (!port.contains(QLatin1Char('/')) || port.startsWith(QLatin1Char('/')) || port.startsWith(u"./")
        || port.startsWith(u"../") || IsTcpDevice(port) || LinkRegistry::IsRegistered(port)
        || !QFileInfo::exists(port))
        return port;
    return QStringLiteral("./") + port;
}

// The port as the user knows it, for messages: "COM1 (/dev/ttyS0)" for a
// port number, else the device as given.
QString PortLabel(TDevInfo& store, const QString& port, std::optional<std::uint8_t> com)
{
    if (!com)
        return port;
    const QString device = store.DevOper().PortDevice(*com);
    return device.isEmpty() || device == port ? port : QStringLiteral("%1 (%2)").arg(port, device);
}

QString UnknownCommand(const QString& word)
{
    return QStringLiteral("unknown command %1").arg(QuotedInput(word));
}

// The files and folders the command will write must be writable before
// anything is sent: a reading that cannot be kept is better not taken.
bool CheckOutputPaths(std::span<const OptionSpec> options, const CommandArgs& args, QString& error)
{
    for (const OptionSpec& option : options) {
        if (option.output == OutputPath::None || !args.has(option.name))
            continue;
        const QString path = args.value(option.name);
        const bool good = option.output == OutputPath::File ? CheckOutputFile(path, error)
                                                            : CheckOutputFolder(path, error);
        if (!good) {
            error = QStringLiteral("%1: %2").arg(QString::fromUtf8(option.name.data(), qsizetype(option.name.size())),
                                                 error);
            return false;
        }
    }
    return true;
}

// The port number of "COMn" as the main window numbers ports (COM1 to
// COM16); none for any other name. A number beyond the list is refused
// rather than brought into it: the user named a port, and another one must
// not open in its place.
std::optional<std::uint8_t> ComPortNumber(const QString& port, QString& error)
{
    const std::vector<std::uint8_t> numbers = ComPortNumbers({port});
    if (numbers.empty())
        return std::nullopt;
    if (numbers.front() != LimitPortNumber(numbers.front())) {
        error = QStringLiteral("--port %1: ports are numbered COM1 to COM%2 as in the main window; "
                               "give the device itself or map the port in [Ports] of BMS.ini")
                    .arg(port)
                    .arg(kMaxPortNumber);
        return std::nullopt;
    }
    return numbers.front();
}

// Opens the port the user named: "COMn" as the main window numbers ports,
// mapped through [Ports] of BMS.ini as the window maps it (with the RS485
// mode kept there unless --rs485 gives one), or any other device (a path,
// tcp://HOST:PORT, or a registered link such as "simulator") directly, as
// port 1. Errors name what the user gave: the device, or the [Ports] line
// it came from.
bool OpenNamedPort(TDevInfo& store, AppGlobals& globals, const QString& port, std::optional<std::uint8_t> com,
                   std::int32_t baudRate, std::optional<RRs485Mode> rs485, QString& error)
{
    const std::uint8_t portNumber = com.value_or(1);
    globals.PortNumber = portNumber;
    RPortDevice device;
    if (!com) {
        device.link = LinkSettings{port, baudRate, rs485.value_or(RRs485Mode{})};
    } else {
        device = ResolvePortDevice(portNumber, SettingsFilePath(), baudRate);
        // --rs485 wins over the mode of the map; a device the map does not
        // name is then called by the port the user gave as well.
        if (rs485 && device.error.isEmpty()) {
            device.link.rs485 = *rs485;
            if (device.origin.isEmpty())
                device.origin = QStringLiteral("%1 (%2)").arg(port, device.link.device);
        }
    }
    // A fresh store has nothing to close: no rest before opening.
    if (OpenPort(store, portNumber, device, {}))
        return true;
    error = store.TextOper().GetLanguageText(TextId::kPortNotOpen) + QStringLiteral(" ")
        + store.DevOper().LastOpenError();
    return false;
}

int Run(const QStringList& arguments)
{
    CommandLine line;
    QString error;
    const bool parsed = ParseCommandLine(arguments, line, error);
    const Output output(line.globals.json, line.command);
    if (!parsed)
        return UsageError(output, error, FindCommand(line.command));

    // Defaults from BMS.ini, as the main window would start with them.
    LoadSettings();
    AppGlobals& globals = Globals();
    if (line.globals.language)
        globals.Language = *line.globals.language;
    globals.TextOper->SetLanguage(globals.Language);

    if (line.command.isEmpty() || line.command == u"help") {
        const CommandSpec* topic = line.words.isEmpty() ? nullptr : FindCommand(line.words.first());
        if (line.command.isEmpty() && !line.help)
            return UsageError(output, QStringLiteral("no command given"), nullptr);
        // "help nosuch" is as wrong as "nosuch --help".
        if (!line.words.isEmpty() && !topic)
            return UsageError(output, UnknownCommand(line.words.first()), nullptr);
        output.printText(topic ? CommandHelp(*topic) : GeneralHelp());
        return 0;
    }
    const CommandSpec* command = FindCommand(line.command);
    if (!command)
        return UsageError(output, UnknownCommand(line.command), nullptr);
    if (line.help) {
        output.printText(CommandHelp(*command));
        return 0;
    }
    CommandArgs args;
    if (!SplitCommandArgs(line.words, command->options, args, error))
        return UsageError(output, error, command);
    args.json = line.globals.json;
    const Prepared prepared = command->prepare(args);
    if (!prepared.action)
        return UsageError(output, prepared.error, command);
    if (!CheckOutputPaths(command->options, args, error))
        return UsageError(output, error, command);

    const QString port = PortPath(line.globals.port.value_or(QStringLiteral("COM%1").arg(globals.PortNumber.load())));
    error.clear();
    const std::optional<std::uint8_t> comNumber = ComPortNumber(port, error);
    if (!error.isEmpty())
        return UsageError(output, error, nullptr);

    // Only now is anything opened. The line speed given is the one in force
    // (listen names it when nothing it hears makes a frame).
    globals.BaudRate = line.globals.baudRate.value_or(globals.BaudRate.load());
    auto store = std::make_unique<TDevInfo>();
    store->InitStore();
    ApplyFamilyConfig(store->DevOper());
    if (!OpenNamedPort(*store, globals, port, comNumber, line.globals.baudRate.value_or(globals.BaudRate.load()),
                       line.globals.rs485, error)) {
        output.failure(error, ResultCode::kPortNotOpen, QStringLiteral("open"));
        return 1;
    }
    // The families the user names hold for this run, over what BMS.ini pins.
    for (const auto& [address, family] : line.globals.familyPins)
        store->DevOper().PinFamily(address, family);
    if (line.globals.trace)
        store->DevOper().Traffic().SetObserver([&output](const RTrafficRecord& record) { output.error(TrafficLine(record)); });
    InstallInterruptHandler();
    Session session(*store, globals, output, line.globals.address, PortLabel(*store, port, comNumber));
    const int status = prepared.action(session);
    // A script may run bmstool again at once: an answer that is still on
    // its way must not be taken by the next run for its own.
    store->DevOper().HearOutLateAnswer();
    store->CloseSerial(globals.PortNumber.load());
    return status;
}

#ifdef BMS_WITH_REPORT
// The report draws its charts, which takes a GUI application; every other
// command runs on a core one and never needs a display.
bool DrawsReport(int argc, char** argv)
{
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    CommandLine line;
    QString error;
    return ParseCommandLine(arguments, line, error) && line.command == u"report" && !line.help;
}

std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv)
{
    if (!DrawsReport(argc, argv))
        return std::make_unique<QCoreApplication>(argc, argv);
    // The pages are drawn off screen; no display is needed or used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}
#else
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv)
{
    return std::make_unique<QCoreApplication>(argc, argv);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    const std::unique_ptr<QCoreApplication> app = MakeApplication(argc, argv);
    NameApplication();
    // "--port simulator" reaches the in-process packs.
    RegisterSimulatorLink();
    const int status = Run(QCoreApplication::arguments().mid(1));
    FreeGlobals();
    return status;
}
