// What real adapters do to the line: an echo of every request, a kernel
// RS485 mode that the device may refuse, and open errors that name what
// the user gave.

#include "lib/sim_link.h"
#include "protocol/devoper.h"
#include "protocol/link.h"
#include "support/pseudo_terminal.h"


#include <gtest/gtest.h>


namespace {

TEST(Adapters, OpenErrorsNameWhatTheUserGave)
{
    RegisterSimulatorLink();

    struct OpenCase {
        const char* device;
        const char* origin;   // where the device came from; empty: given directly
        const char* error;    // what the settings found wrong before opening
        const char* startsWith;
        const char* alsoHas;
    };
    const OpenCase cases[] = {
        {"/dev/no-such-adapter-21", "", "", "/dev/no-such-adapter-21: ", ""},
        {"tcp://127.0.0.1:1", "", "", "tcp://127.0.0.1:1: ", ""},
        {"tcp://127.0.0.1", "", "", "tcp://127.0.0.1: ", "no port given"},
        {"/dev/no-such-adapter-21", "[Ports] COM3=/dev/no-such-adapter-21", "",
         "[Ports] COM3=/dev/no-such-adapter-21: ", ""},
        // A device that came with an error is not opened, even one that
        // would open: the error is the whole message.
        {"simulator", "[Ports] COM4=simulator", "[Ports] COM4.RS485=sideways in BMS.ini: unknown RS485 mode",
         "[Ports] COM4.RS485=sideways in ", "unknown RS485 mode"},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.device);
        TDevOper oper;
        oper.AssignPort(3, RPortDevice{LinkSettings(QString::fromLatin1(c.device)), QString::fromLatin1(c.origin),
                                       QString::fromLatin1(c.error)});
        EXPECT_FALSE(oper.OpenSerial(3));
        EXPECT_FALSE(oper.IsLinkOpen());
        const QString error = oper.LastOpenError();
        EXPECT_TRUE(error.startsWith(QLatin1String(c.startsWith))) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.alsoHas))) << error.toStdString();
        // Only a port number that was given a device opens anything.
        EXPECT_FALSE(oper.OpenSerial(4));
        EXPECT_EQ(oper.PortDevice(4), QString());
    }
}

TEST(Adapters, Rs485ModesReadBackAndUnknownOnesAreRefused)
{
    using Kind = RRs485Mode::Kind;
    struct ModeCase {
        const char* text;
        bool known;
        Kind kind;
        int before;
        int after;
        const char* written;
    };
    const ModeCase cases[] = {
        {"", true, Kind::Off, 0, 0, "off"},
        {"OFF", true, Kind::Off, 0, 0, "off"},
        {"rts-on-send", true, Kind::RtsOnSend, 0, 0, "rts-on-send"},
        {" Rts-After-Send:3 ", true, Kind::RtsAfterSend, 3, 0, "rts-after-send:3"},
        {"rts-on-send:0:100", true, Kind::RtsOnSend, 0, 100, "rts-on-send:0:100"},
        {"rts-on-send:101", false, Kind::Off, 0, 0, ""},
        {"rts-on-send:1:2:3", false, Kind::Off, 0, 0, ""},
        {"rts-on-send:-1", false, Kind::Off, 0, 0, ""},
        {"off:5", false, Kind::Off, 0, 0, ""},
        {"rts", false, Kind::Off, 0, 0, ""},
        {"auto", false, Kind::Off, 0, 0, ""},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        const std::optional<RRs485Mode> mode = ParseRs485Mode(QString::fromLatin1(c.text), &error);
        ASSERT_EQ(mode.has_value(), c.known) << error.toStdString();
        if (!mode) {
            EXPECT_TRUE(error.contains(QLatin1String("rts-on-send"))) << "the message lists the known modes";
            continue;
        }
        EXPECT_EQ(mode->kind, c.kind);
        EXPECT_EQ(mode->delayBeforeMs, c.before);
        EXPECT_EQ(mode->delayAfterMs, c.after);
        EXPECT_EQ(Rs485ModeText(*mode), QLatin1String(c.written));
        EXPECT_EQ(ParseRs485Mode(Rs485ModeText(*mode)), mode);
    }
}

TEST(Adapters, Rs485ModeOnAPseudoTerminalIsRefusedClearlyAndNothingIsSent)
{
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.isReady());
    TDevOper oper;
    RRs485Mode mode;
    mode.kind = RRs485Mode::Kind::RtsOnSend;
    EXPECT_FALSE(oper.OpenLink(LinkSettings(terminal.slavePath(), 9600, mode), 1));
    const QString error = oper.LastOpenError();
    EXPECT_TRUE(error.startsWith(terminal.slavePath() + QStringLiteral(": "))) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("refused RS485 mode rts-on-send"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("automatic direction control need no setting"))) << error.toStdString();
    EXPECT_FALSE(oper.IsSerialOpen(1));
    RDeviceTime time;
    EXPECT_EQ(oper.ReadDateTime(1, time), ResultCode::kNoAnswer);
    EXPECT_TRUE(terminal.written().isEmpty());

    // Without the mode the same terminal opens and the request goes out.
    ASSERT_TRUE(oper.OpenLink(LinkSettings(terminal.slavePath()), 1)) << oper.LastOpenError().toStdString();
    oper.PinFamily(1, PackFamily::Ours);
    EXPECT_EQ(oper.ReadDateTime(1, time), ResultCode::kNoAnswer);
    EXPECT_EQ(terminal.written(), oper.RequestText());
}

// Behind an echoing adapter every outcome is the one without the echo:
// the same result, the same answer after the echo. Only an exact copy of
// the request is skipped; an answer that merely starts as the request does
// (a pack that returns the command's code as its RTN) is an answer.
TEST(Adapters, EchoIsSkippedAndEveryOutcomeIsAsWithoutIt)
{
    struct EchoCase {
        const char* fault;   // empty: none
        std::uint8_t result;
    };
    const EchoCase cases[] = {
        {"", ResultCode::kSuccess},
        {"noise", ResultCode::kSuccess},
        {"glitch", ResultCode::kSuccess},
        {"stutter", ResultCode::kSuccess},
        {"badsum:1", ResultCode::kNoStartCharacter},
        {"truncate:1", ResultCode::kNoStartCharacter},
        {"wrongaddr:1", ResultCode::kWrongAddress},
        {"rtn:42:42", 0x42},
        {"silent:2", ResultCode::kNoAnswer},
    };
    for (const EchoCase& c : cases) {
        SCOPED_TRACE(c.fault);
        std::array<TDevOper, 2> opers;   // without and with the echo
        for (int echo = 0; echo < 2; ++echo) {
            SimOptions options;
            options.packs = 3;
            if (*c.fault)
                options.faults.push_back(*ParseSimFault(QString::fromLatin1(c.fault)));
            if (echo)
                options.faults.push_back(*ParseSimFault(u"echo"));
            RegisterSimulatorLink(options);
            ASSERT_TRUE(opers[echo].OpenLink(LinkSettings(QStringLiteral("simulator")), 1));
        }
        std::array<std::array<RAnalogData, kMaxPacks>, 2> records{};
        std::array<std::uint8_t, 2> echoed{};
        std::array<RTrafficRecord, 2> traffic;
        for (int echo = 0; echo < 2; ++echo) {
            EXPECT_EQ(opers[echo].ReadAnalogData(2, 2, echoed[echo], records[echo]), c.result) << "echo " << echo;
            const std::vector<RTrafficRecord> kept = opers[echo].Traffic().Since(0);
            ASSERT_EQ(kept.size(), 1u);
            traffic[echo] = kept.front();
        }
        EXPECT_TRUE(traffic[0].echo.isEmpty());
        EXPECT_EQ(traffic[1].echo, traffic[1].request);
        EXPECT_EQ(traffic[1].answer, traffic[0].answer);
        EXPECT_EQ(traffic[1].reason, traffic[0].reason);
        EXPECT_EQ(echoed[1], echoed[0]);
        // The record's time is the PC clock's when it was made.
        records[1][1].time = records[0][1].time;
        EXPECT_EQ(records[1][1], records[0][1]);
        EXPECT_TRUE(FormatTrafficLine(traffic[1], QStringLiteral("R"))
                        .endsWith(QStringLiteral(" RX [echo skipped %1] %2")
                                      .arg(EscapeWireBytes(traffic[1].request), EscapeWireBytes(traffic[1].answer))));
    }
}

} // namespace
