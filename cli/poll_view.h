#pragma once

// What "poll" and "listen" share: the view the polling cycle (or the bus
// listener) drives, which prints readings and failures. The outputs of the
// readings (CSV logs, MQTT, metrics, line protocol) take each pack's turn
// from the cycle itself (output_options.h).
#include "commands.h"
#include "live_records.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"
#include "store/realtime_row.h"

#include <functional>
#include <optional>

// Prints what the cycle shows. The cycle calls it between its commands; the
// last pack of a pass is closed by FinishPack after the pass.
//
// Listening (bmstool listen) the bus listener drives it as the cycle would:
// it then prints nothing of its own (the listener's line per exchange says
// it all) but the lost port's line.
//
// between: called between exchanges, to keep the outputs going.
class PrintingPollView final : public IPollView {
public:
    PrintingPollView(Session& session, bool reconnect, bool shortCycle, bool listening,
                     std::function<void()> between)
        : m_session(session), m_reconnect(reconnect), m_shortCycle(shortCycle), m_listening(listening),
          m_between(std::move(between))
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
        if (m_between)
            m_between();
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

    // Closes the pack polled last.
    void FinishPack()
    {
        if (!m_active)
            return;
        PrintStatus();
        if (m_between)
            m_between();
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
            // A pack of another family, or of none, says which and why.
            m_lastFailure = PackResultText(m_session.store(), m_address, *result);
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

    Session& m_session;
    bool m_reconnect;
    bool m_shortCycle;   // only analog and alarm data are read
    bool m_listening;    // driven by the bus listener: prints nothing of its own, sends nothing
    bool m_portGone = false;
    std::function<void()> m_between;
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
};

