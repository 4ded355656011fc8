#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

class PtyServer;
class SimBus;

// One command the master asks every pack, as it goes out.
struct MasterCommand {
    std::uint8_t cid2 = 0;
    bool packNumberInfo = true;   // the pack number as INFO; false: no INFO
};

struct BusMasterOptions {
    std::chrono::milliseconds period{1000};      // from the start of one round to the next
    std::chrono::milliseconds replyWindow{500};  // how long the master waits for a silent pack (--timeout)
    std::chrono::milliseconds gap{20};           // quiet after an answer before the next request
    int rounds = 0;                              // 0: until stopped
    std::vector<MasterCommand> commands;
};

// Reads "analog,alarm,time" (the names bmstool uses) or hex codes such as
// 0x4D, which go out with the pack number as INFO. Nothing on a bad list,
// with the reason.
std::optional<std::vector<MasterCommand>> ParseMasterCommands(QStringView list, QString* error);

// What the master did, for its statistics at exit.
struct BusMasterCounts {
    qint64 rounds = 0;
    qint64 requests = 0;
    qint64 answers = 0;
};

// Plays the master of the bus, as an inverter does: every period it asks
// each simulated pack each command in turn (a pack of another family only
// its live values and alarm states, in its own form), and writes both directions to
// the line in the order they would travel on the wire: the request, the
// master adapter's echo, what the pack sends at once, the answer after the
// pack's delay. The pack answers through the same SimBus and faults as the
// served bus. Nothing a client of the line writes is taken as a request.
class BusMaster {
public:
    BusMaster(SimBus& bus, PtyServer& line, BusMasterOptions options);

    // Polls until a byte arrives on stopFd, or for options.rounds rounds:
    // then it says so on standard output ("rounds done N"), keeps the line
    // open a moment longer for a listener to take the last bytes, and
    // returns.
    void run(int stopFd);

    static constexpr std::chrono::milliseconds kLingerAfterRounds{1000};
    BusMasterCounts counts() const { return m_counts; }

private:
    using Clock = std::chrono::steady_clock;
    // One exchange; returns when the next request may go out, or nothing on stop.
    std::optional<Clock::time_point> ask(const QByteArray& request, int stopFd);

    SimBus& m_bus;
    PtyServer& m_line;
    BusMasterOptions m_options;
    BusMasterCounts m_counts;
};
