#pragma once

// What "poll" and "listen" share: the view the polling cycle (or the bus
// listener) drives, which prints readings, writes the real-time logs and
// publishes to MQTT, and the MQTT options.
#include "commands.h"
#include "csv_file.h"
#include "influx_poll.h"
#include "live_records.h"
#include "mqtt_packs.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "store/pack_sample.h"
#include "store/realtime_row.h"

#include <QDateTime>
#include <QDir>

#include <functional>
#include <map>
#include <optional>

inline constexpr std::int64_t kMaxMqttQueue = 1000000;

// --mqtt and the options that go with it; false with the message when they
// are wrong.
bool PrepareMqtt(const CommandArgs& args, std::optional<MqttSettings>& settings, QString& error);

// Connects to the broker when --mqtt was given; false with the reason when
// it could not start. The run stops when a stop is asked for or when the
// broker refuses the credentials (stopRequested says which).
bool StartMqtt(Session& session, const std::optional<MqttSettings>& settings,
               std::optional<MqttPackPublisher>& mqtt, QString& error);
std::function<bool()> StopRequested(const MqttPackPublisher* publisher);
// Marks the packs and the service offline and reports what was published;
// false when the broker refused the credentials.
bool FinishMqtt(MqttPackPublisher& publisher);

// The broker gets each pack's turn as the poller or the listener hands it
// on, with the bar code known for the pack: the one the poller read once
// for every output, or the one heard.
class MqttSampleSink final : public IPackSampleSink {
public:
    using BarCodeOf = std::function<std::optional<QString>(const RPackSample&)>;
    MqttSampleSink(MqttPackPublisher& mqtt, BarCodeOf barCodeOf) : m_mqtt(mqtt), m_barCodeOf(std::move(barCodeOf)) {}

    void PackSampled(const RPackSample& sample) override
    {
        m_mqtt.packPolled(sample.pack, [this, &sample] { return m_barCodeOf(sample); },
                          sample.analog ? &*sample.analog : nullptr, sample.alarm ? &*sample.alarm : nullptr);
    }

private:
    MqttPackPublisher& m_mqtt;
    BarCodeOf m_barCodeOf;
};

// Prints what the cycle shows. The cycle calls it between its commands; the
// last pack of a pass is closed by FinishPack after the pass.
//
// Listening (bmstool listen) the bus listener drives it as the cycle would:
// it then prints nothing of its own (the listener's line per exchange says
// it all) but keeps the logs and MQTT, and the lost port's line.
class PrintingPollView final : public IPollView {
public:
    PrintingPollView(Session& session, const QString& csvFolder, bool reconnect, MqttPackPublisher* mqtt,
                     bool shortCycle, bool listening = false, InfluxWriter* influx = nullptr)
        : m_session(session), m_csvFolder(csvFolder), m_reconnect(reconnect), m_shortCycle(shortCycle),
          m_listening(listening), m_mqtt(mqtt), m_influx(influx), m_started(QDateTime::currentDateTime())
    {
    }

    void RefreshHead() override
    {
        FinishPack();
        m_pack = m_session.globals().SelectedPack.load();
        m_address = m_session.globals().SelectedAddress.load();
        m_active = true;
        m_exchange = 0;
        m_commandSent = false;
    }

    // The cycle turns the lamp yellow before each command and sets it from
    // the command's result, which it has filed as the last result, after it.
    // A lamp set with no command before it means the port could not be used.
    void SetCommState(int state) override
    {
        if (m_mqtt)
            m_mqtt->pump();
        if (!m_commandSent && state == kLampYellow) {
            m_commandSent = true;
            if (m_portGone) {
                m_portGone = false;
                m_session.out().printLine(OutputRecord(QStringLiteral("port"))
                                              .text(QStringLiteral("port"), PortName())
                                              .text(QStringLiteral("state"), QStringLiteral("back")));
            }
            return;
        }
        // A red lamp with no command before it: the port is not open. A
        // serial device that went away is reported once, by PortLost; a
        // gateway that cannot be reached at every attempt.
        if (!m_commandSent) {
            if (!m_session.store().PortCanVanish(m_session.globals().PortNumber.load()))
                ReportFailure(std::nullopt);
            return;
        }
        m_commandSent = false;
        const std::uint8_t result = m_session.store().LastResult();
        if (result != 0 && !m_listening)
            ReportFailure(result);
        ++m_exchange;
    }

    void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult) override
    {
        m_packTime = lastResult == 0 ? FormatDeviceTime(packTime) : QString();
        m_hasStatus = true;
    }

    void ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t) override
    {
        m_softwareVersion = softwareVersion;
        m_barCode = barCode;
    }

    void RefreshAnalog() override
    {
        // Called after a failure too, once the pack has been silent for a
        // while, to show its last reading again; that is no new reading.
        if (m_session.store().LastResult() != 0)
            return;
        PrintStatus();
        m_analog = m_session.store().GetAnalogData(m_pack);
        m_hasAnalog = true;
        ++m_readings;
        if (!m_listening)
            m_session.out().printLine(AnalogRecord(m_analog));
    }

    void RefreshAlarm() override
    {
        if (m_session.store().LastResult() != 0)
            return;
        PrintStatus();
        m_alarm = m_session.store().GetAlarmData(m_pack);
        m_hasAlarm = true;
        ++m_readings;
        if (!m_listening)
            m_session.out().printLine(AlarmRecord(m_alarm, m_session.store().TextOper()));
    }

    void RefreshLocation() override {}

    // One line when the port is lost, not one per attempt to reopen it.
    bool PortLost() override
    {
        if (!m_portGone) {
            m_portGone = true;
            ReportFailure(std::nullopt);
        }
        return !m_reconnect;
    }

    // Closes the pack polled last: its log row, or what went wrong.
    void FinishPack()
    {
        if (!m_active)
            return;
        PrintStatus();
        if (m_hasAnalog && !m_csvFolder.isEmpty() && RealtimeReadingHoldsData(m_analog))
            AppendLogRow();
        if (m_influx)
            ReportInfluxEvents(*m_influx, m_session.out());
        m_active = false;
        m_hasAnalog = false;
        m_hasAlarm = false;
        m_hasStatus = false;
    }

    int readings() const { return m_readings; }
    // The port went away and the run is not waiting for it.
    bool portGone() const { return m_portGone && !m_reconnect; }
    // What went wrong last, for a run in which no reading arrived.
    QString lastFailure() const { return m_lastFailure; }
    QString fileError() const { return m_fileError; }

private:
    static constexpr int kLampYellow = 2;

    // One line per failed exchange, with the command, the result code and
    // its text; a port that could not be used is the command "open" with
    // the code of a port that is not open.
    void ReportFailure(std::optional<std::uint8_t> result)
    {
        PrintStatus();
        OutputRecord record(QStringLiteral("error"));
        record.number(QStringLiteral("pack"), m_pack);
        if (result) {
            m_lastFailure = m_session.store().TextOper().GetErrorText(*result);
            // The commands of one cycle, in the order the cycle sends them
            // (the tool polls without clock sync and location page).
            static const QStringList kFullCycle = {QStringLiteral("time"), QStringLiteral("barcode"),
                                                   QStringLiteral("info"), QStringLiteral("analog"),
                                                   QStringLiteral("alarm")};
            static const QStringList kShortCycle = {QStringLiteral("analog"), QStringLiteral("alarm")};
            const QStringList& cycle = m_shortCycle ? kShortCycle : kFullCycle;
            record.text(QStringLiteral("command"), cycle.value(m_exchange))
                .number(QStringLiteral("result"), *result);
        } else {
            const QString why = m_session.store().DevOper().LastOpenError();
            if (m_portGone) {
                m_lastFailure = QStringLiteral("the port %1 went away").arg(PortName());
                if (!why.isEmpty())
                    m_lastFailure += QStringLiteral(": ") + why;
                if (m_reconnect)
                    m_lastFailure += QStringLiteral("; waiting for it to come back");
            } else {
                m_lastFailure = m_session.store().TextOper().GetLanguageText(TextId::kPortNotOpen) + QLatin1Char(' ')
                    + PortName() + (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
            }
            record.text(QStringLiteral("command"), QStringLiteral("open"))
                .number(QStringLiteral("result"), ResultCode::kPortNotOpen);
        }
        m_session.out().printLine(record.text(QStringLiteral("error"), m_lastFailure));
    }

    QString PortName() const
    {
        return m_session.store().DevOper().PortDevice(m_session.globals().PortNumber.load());
    }

    void PrintStatus()
    {
        if (!m_hasStatus || m_listening)
            return;
        m_hasStatus = false;
        m_session.out().printLine(OutputRecord(QStringLiteral("status"))
                                      .number(QStringLiteral("pack"), m_pack)
                                      .text(QStringLiteral("pack_time"), m_packTime)
                                      .text(QStringLiteral("bar_code"), m_barCode)
                                      .text(QStringLiteral("software_version"), SoftwareVersionHex(m_softwareVersion)));
    }

    // The row pairs this cycle's analog reading with this cycle's alarm
    // answer (blank when the alarm read failed).
    void AppendLogRow()
    {
        LogFile& log = m_logs[m_pack];
        if (!log.file.isOpen()) {
            if (log.failed)
                return;
            // Named as the main window names its saved logs: pack, then time.
            const QString name = QStringLiteral("%1_%2.csv")
                                     .arg(m_pack)
                                     .arg(m_started.toString(QStringLiteral("yyyyMMddHHmmss")));
            if (!log.file.create(QDir(m_csvFolder).filePath(name), RealtimeLogHeaders(m_session.store().TextOper()),
                                 &m_fileError)) {
                log.failed = true;
                m_session.out().error(m_fileError);
                return;
            }
        }
        ++log.rows;
        if (!log.file.append(RealtimeLogRow(log.rows, m_analog, m_session.store().GetAlarmData(m_pack),
                                             m_session.store()))) {
            m_fileError = QStringLiteral("%1: cannot write").arg(log.file.path());
            m_session.out().error(m_fileError);
        }
    }

    struct LogFile {
        CsvFile file;
        int rows = 0;
        bool failed = false;
    };

    Session& m_session;
    QString m_csvFolder;
    bool m_reconnect;
    bool m_shortCycle;   // only analog and alarm data are read
    bool m_listening;    // driven by the bus listener: prints nothing of its own, sends nothing
    bool m_portGone = false;
    MqttPackPublisher* m_mqtt;
    InfluxWriter* m_influx;
    QDateTime m_started;
    std::map<std::uint8_t, LogFile> m_logs;
    bool m_active = false;
    std::uint8_t m_pack = 0;
    std::uint8_t m_address = 0;
    bool m_commandSent = false;
    int m_exchange = 0;
    QString m_lastFailure;
    bool m_hasAnalog = false;
    RAnalogData m_analog;
    bool m_hasAlarm = false;
    RAlarmData m_alarm;
    bool m_hasStatus = false;
    QString m_packTime;
    QString m_barCode;
    std::uint16_t m_softwareVersion = 0;
    int m_readings = 0;
    QString m_fileError;
};

