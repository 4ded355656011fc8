// "listen": hears a bus that another master polls and prints every exchange,
// sending nothing; the logs and MQTT work from what is heard as "poll"'s do.
#include "commands.h"
#include "interrupt.h"
#include "live_records.h"
#include "output_options.h"
#include "poll_view.h"

#include "protocol/command_catalogue.h"
#include "services/input_text.h"
#include "store/config_checks.h"
#include "protocol/traffic_log.h"
#include "store/bus_listener.h"

#include <QThread>

namespace {

constexpr std::int64_t kMaxWindowMs = 60000;

struct ListenRequest {
    bool reconnect = false;
    RMonitoringSettings outputs;
    std::optional<std::chrono::milliseconds> window;
};

QString OutcomeWord(HeardOutcome outcome)
{
    switch (outcome) {
    case HeardOutcome::Answered: return QStringLiteral("ok");
    case HeardOutcome::PackRefused: return QStringLiteral("pack_error");
    case HeardOutcome::NoAnswer: return QStringLiteral("no_answer");
    case HeardOutcome::ForeignLength: return QStringLiteral("refused_length");
    case HeardOutcome::Overlapped: return QStringLiteral("overlapped");
    case HeardOutcome::LateAnswer: return QStringLiteral("late_answer");
    case HeardOutcome::DuplicateAnswer: return QStringLiteral("answered_twice");
    case HeardOutcome::Unpaired: return QStringLiteral("unpaired");
    case HeardOutcome::UnknownCommand: return QStringLiteral("unknown_command");
    case HeardOutcome::BadFrame: return QStringLiteral("bad_frame");
    case HeardOutcome::BytesWithoutFrames: return QStringLiteral("no_frame");
    }
    return QString();
}

// The bad-frame reasons as the summary's field names, by FrameFault.
constexpr const char* kFaultWords[kFrameFaultCount] = {
    "none", "too_short", "overlong", "interrupted", "bad_cid1", "bad_length_checksum", "length_mismatch",
    "bad_checksum", "cut_off"};

QString CommandWord(std::uint8_t cid2)
{
    if (cid2 == 0)
        return QStringLiteral("-");
    const CommandInfo* command = CommandOfCid2(cid2);
    return command ? QString::fromLatin1(command->name)
                   : QStringLiteral("CID2 %1").arg(QString::number(cid2, 16).toUpper().rightJustified(2, u'0'));
}

OutputRecord HeardRecord(const RHeardExchange& heard, const TDevInfo& store, bool json)
{
    OutputRecord record(QStringLiteral("heard"));
    record.text(QStringLiteral("time"), heard.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")))
        .number(QStringLiteral("address"), heard.address)
        .text(QStringLiteral("command"), CommandWord(heard.cid2))
        .text(QStringLiteral("result"), OutcomeWord(heard.outcome))
        .number(QStringLiteral("code"), heard.result);
    if (heard.outcome == HeardOutcome::BadFrame)
        record.text(QStringLiteral("fault"), QString::fromLatin1(kFaultWords[int(heard.fault)]));
    if (heard.answerMs)
        record.number(QStringLiteral("answer_ms"), *heard.answerMs);
    if (heard.pack != 0)
        record.number(QStringLiteral("pack"), heard.pack);
    // An answer of another maker's pack names its family.
    const PackFamily family = heard.analog ? heard.analog->family
                            : heard.alarm  ? heard.alarm->family
                                           : PackFamily::Ours;
    if (IsForeign(family))
        record.text(QStringLiteral("family"), FamilyName(family));
    if (heard.analog) {
        const RAnalogData& a = *heard.analog;
        record.number(QStringLiteral("voltage_V"), a.totalVoltage).number(QStringLiteral("current_A"), a.current);
        // Another family's SOC only when it sends one, exact.
        if (!IsForeign(a.family))
            record.number(QStringLiteral("soc"), a.soc);
        else if (const std::optional<Decimal> soc = StateOfCharge(a))
            record.number(QStringLiteral("soc"), *soc);
        record.number(QStringLiteral("cell_min_mV"), MinCellVoltage(a).millivolts)
            .number(QStringLiteral("cell_max_mV"), MaxCellVoltage(a).millivolts);
        if (json) {
            const OutputRecord full = AnalogRecord(a);
            record.raw(QStringLiteral("analog"), full.toJson(), full.toLine());
        }
    }
    if (heard.alarm) {
        record.text(QStringLiteral("alarms"), store.AlarmText(*heard.alarm))
            .text(QStringLiteral("protections"), store.ProtectionText(*heard.alarm));
        if (json) {
            const OutputRecord full = AlarmRecord(*heard.alarm, store.TextOper());
            record.raw(QStringLiteral("alarm"), full.toJson(), full.toLine());
        }
    }
    if (heard.packTime)
        record.text(QStringLiteral("pack_time"), FormatDeviceTime(*heard.packTime));
    if (heard.barCode)
        record.text(QStringLiteral("bar_code"), *heard.barCode);
    if (heard.deviceInfo)
        record.text(QStringLiteral("device_name"), heard.deviceInfo->deviceName)
            .text(QStringLiteral("software_version"), SoftwareVersionHex(heard.deviceInfo->softwareVersion))
            .text(QStringLiteral("manufacturer"), heard.deviceInfo->manufacturer);
    // What cannot be decoded is shown as it came, never guessed at.
    const bool raw = heard.outcome != HeardOutcome::Answered || (!heard.analog && !heard.alarm && !heard.packTime
                                                                 && !heard.barCode && !heard.deviceInfo);
    if (raw || json) {
        if (!heard.request.isEmpty())
            record.text(QStringLiteral("request"), EscapeWireBytes(heard.request));
        if (!heard.answer.isEmpty())
            record.text(QStringLiteral("answer"), EscapeWireBytes(heard.answer));
    }
    return record;
}

void AddCounts(OutputRecord& record, const RAddressSummary& s)
{
    record.number(QStringLiteral("requests"), std::int64_t(s.requests))
        .number(QStringLiteral("answers"), std::int64_t(s.answers))
        .number(QStringLiteral("no_answers"), std::int64_t(s.noAnswers))
        .number(QStringLiteral("refused_length"), std::int64_t(s.refused))
        .number(QStringLiteral("overlapped"), std::int64_t(s.overlapped))
        .number(QStringLiteral("late_answers"), std::int64_t(s.lateAnswers))
        .number(QStringLiteral("answered_twice"), std::int64_t(s.duplicateAnswers))
        .number(QStringLiteral("echoed_requests"), std::int64_t(s.echoedRequests))
        .number(QStringLiteral("unpaired"), std::int64_t(s.unpaired))
        .number(QStringLiteral("unknown_commands"), std::int64_t(s.unknownCommands))
        .number(QStringLiteral("bad_frames"), std::int64_t(s.BadFrames()));
    for (int f = 1; f < kFrameFaultCount; ++f)
        if (s.badFrames[std::size_t(f)] != 0)
            record.number(QString::fromLatin1(kFaultWords[f]), std::int64_t(s.badFrames[std::size_t(f)]));
    const auto optional = [&record](const char* name, const std::optional<qint64>& value) {
        if (value)
            record.number(QString::fromLatin1(name), *value);
    };
    optional("answer_min_ms", s.answerMinMs);
    optional("answer_median_ms", s.answerMedianMs);
    optional("answer_max_ms", s.answerMaxMs);
    optional("poll_period_ms", s.pollPeriodMs);
}

void PrintSummary(const Output& out, const RBusSummary& summary)
{
    for (const RAddressSummary& s : summary.addresses) {
        OutputRecord record(QStringLiteral("summary"));
        record.number(QStringLiteral("address"), s.address);
        AddCounts(record, s);
        out.printLine(record);
    }
    OutputRecord bus(QStringLiteral("bus"));
    bus.number(QStringLiteral("listened_ms"), summary.listenedMs)
        .number(QStringLiteral("bytes_heard"), summary.bytesHeard)
        .number(QStringLiteral("bytes_outside_frames"), summary.bytesOutsideFrames)
        .flag(QStringLiteral("bytes_without_frames"), summary.bytesWithoutFrames)
        .number(QStringLiteral("port_lost"), std::int64_t(summary.portLosses))
        .number(QStringLiteral("port_away_ms"), summary.portAwayMs);
    AddCounts(bus, summary.totals);
    out.printLine(bus);
}

int RunListen(Session& session, const ListenRequest& request)
{
    // The outputs take each heard pack's turn as polling's; MQTT names the
    // packs by number, as the bar code is heard only if the master asks.
    MonitoringOutputs outputs(session.store());
    if (QString error; !StartOutputs(outputs, request.outputs, true, session.out(), error))
        return session.failed(error);
    const std::function<bool()> stop = StopRequested(outputs);
    const std::function<void()> between = [&outputs, &session] { PumpOutputs(outputs, session.out()); };
    PrintingPollView view(session, request.reconnect, true, true, between);
    BusListener listener(session.store(), session.globals(), view, stop);
    listener.SetReplyWindow(request.window);
    listener.SetSampleSink(outputs.Sink());
    const qint32 baud = session.globals().BaudRate.load();
    listener.SetExchangeObserver([&session, baud](const RHeardExchange& heard) {
        if (heard.outcome == HeardOutcome::BytesWithoutFrames) {
            session.out().error(QStringLiteral("bytes heard but no frame: check the line speed, now %1").arg(baud));
            return;
        }
        session.out().printLine(HeardRecord(heard, session.store(), session.out().json()));
    });
    // With --reconnect the run outlives the port: it says when the port
    // went and when it came back (the view prints the lines of both).
    if (request.reconnect) {
        const QString port = session.store().DevOper().PortDevice(session.globals().PortNumber.load());
        listener.SetPortObserver([&session, port](const QDateTime& went, const std::optional<QDateTime>& back) {
            const QString format = QStringLiteral("yyyy-MM-dd HH:mm:ss");
            if (!back)
                session.out().error(QStringLiteral("the port %1 went away at %2; waiting for it to come back")
                                        .arg(port, went.toString(format)));
            else
                session.out().error(QStringLiteral("the port %1 is back at %2, away for %3 s")
                                        .arg(port, back->toString(format))
                                        .arg(double(went.msecsTo(*back)) / 1000.0, 0, 'f', 1));
        });
    }
    session.out().error(QStringLiteral("listening on %1 at %2 baud: nothing is sent; Ctrl-C ends and prints the summary")
                            .arg(session.store().DevOper().PortDevice(session.globals().PortNumber.load()))
                            .arg(baud));
    while (listener.RunPass())
        between();
    view.FinishPack();
    const RBusSummary summary = listener.Summary();
    PrintSummary(session.out(), summary);
    const QString outputFailure = FinishOutputs(outputs, session.out());
    if (!outputFailure.isEmpty())
        return session.failed(outputFailure);
    if (view.portGone())
        return session.failed(view.lastFailure());
    if (summary.totals.requests + summary.totals.unpaired == 0)
        return session.failed(summary.bytesHeard == 0 ? QStringLiteral("nothing was heard on the bus")
                                                       : QStringLiteral("no sound frame was heard on the bus"));
    return 0;
}

} // namespace

Prepared PrepareListen(const CommandArgs& args)
{
    if (!args.positional.isEmpty())
        return Prepared::Usage(QStringLiteral("listen takes only options: --csv, --reconnect, --window, --mqtt..., --metrics..., --influx..."));
    ListenRequest request;
    if (args.has("--window")) {
        const auto window = ParseWholeIn(args.value("--window"), 1, kMaxWindowMs);
        if (!window)
            return Prepared::Usage(QStringLiteral("--window takes milliseconds 1-%1, not %2")
                                       .arg(kMaxWindowMs)
                                       .arg(QuotedInput(args.value("--window"))));
        request.window = std::chrono::milliseconds(*window);
    }
    request.reconnect = args.has("--reconnect");
    if (QString error; !PrepareOutputOptions(args, request.outputs, error))
        return Prepared::Usage(error);
    return Prepared::Run([request](Session& session) { return RunListen(session, request); });
}
