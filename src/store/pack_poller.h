#pragma once

#include "protocol/records.h"
#include "store/pack_sample.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

class TDevInfo;
struct AppGlobals;

// What a polling cycle shows. The polling thread turns each call into a
// signal that runs on the user-interface thread while it waits; the command
// line prints instead.
class IPollView {
public:
    virtual ~IPollView() = default;
    // The pack in SelectedPack/SelectedAddress is about to be polled.
    virtual void RefreshHead() = 0;
    // Lamp: 0 red, 1 green, 2 yellow.
    virtual void SetCommState(int state) = 0;
    // Status panel 0 (the pack clock) and 4 (the error text of lastResult
    // when it is not 0).
    virtual void ShowPackTime(const RDeviceTime& packTime, std::uint8_t lastResult) = 0;
    // Status panels 1 to 3: software version, bar code, echoed pack number.
    virtual void ShowStatus(std::uint16_t softwareVersion, const QString& barCode, std::uint8_t echoedPack) = 0;
    virtual void RefreshAnalog() = 0;
    virtual void RefreshAlarm() = 0;
    virtual void RefreshLocation() = 0;
    // The serial port the user opened is no longer open (the adapter was
    // pulled, the device vanished) and the last attempt to open it again
    // failed. Not asked for a TCP gateway, whose port is opened again.
    // True: stop polling (RunPass then returns false); false: try to open it
    // again after the reconnect pause, pass after pass.
    virtual bool PortLost() { return false; }
    // The pack's family is in trouble (state.problem): an answer that fits
    // no family, two families at its address, or a pinned family its
    // answers do not fit. Told once per pack and trouble.
    virtual void ShowFamilyProblem(std::uint8_t /*pack*/, const RPackFamilyState& /*state*/) {}
};

// A view that shows nothing: for a cycle or a listener run only to fill
// the store or feed the outputs (benches, fuzzing, tests).
class SilentPollView final : public IPollView {
public:
    void RefreshHead() override {}
    void SetCommState(int) override {}
    void ShowPackTime(const RDeviceTime&, std::uint8_t) override {}
    void ShowStatus(std::uint16_t, const QString&, std::uint8_t) override {}
    void RefreshAnalog() override {}
    void RefreshAlarm() override {}
    void RefreshLocation() override {}
};

// Software versions below this are shown as an empty panel.
inline constexpr std::uint16_t kFirstShownSoftwareVersion = 0x534;
// A software version as the window shows it: hexadecimal without leading
// zeros (0x0534 is "534").
QString SoftwareVersionHex(std::uint16_t softwareVersion);
// Status panel 1's text: the version as above, or empty for versions
// before the first one shown.
QString SoftwareVersionText(std::uint16_t softwareVersion);

// What the polling cycle is to do: the one input a front end gives it. The
// window fills it from its selection state, bmstool poll from its arguments.
struct RPollPlan {
    // Send nothing: a page that sends its own commands is shown.
    bool idle = false;
    // The rows of the pack table a pass visits, from the first; each row is
    // polled when its polled flag is set (TDevInfo::SelectPack and friends).
    std::uint8_t packRows = kMaxPacks;
    // Several packs in turn ("Auto"): each cycle reads only the analog and
    // alarm data, and any failed reading is shown again after 90 s of
    // silence. Otherwise the clock, bar code and device information are
    // read first, and only a missing answer counts as silence.
    bool allPacks = false;
    // Set a pack clock that is a minute or more off to the PC clock.
    bool clockSync = false;
    // Read the location data too: the location page is shown.
    bool readLocation = false;

    friend bool operator==(const RPollPlan&, const RPollPlan&) = default;
};

// The polling cycle: visits the polled rows of the pack table and, for each,
// reads its clock, identity, analog and alarm data (and location data while
// the location page is shown), files the answers in the store, keeps the
// pack clock in step with the PC when asked, drives the lamp and the status
// panels and reopens the port when a pack stops answering.
//
// Families: a pack confirmed as ours gets the turn above. Another maker's
// pack gets only its live values and alarm states, in its family's form,
// and its identity once (its serial number stands for the bar code); no
// clock, no device information, no location. An address whose family is
// not known yet is asked only the live values, which tell the family
// (TDevInfo::ReadAnalogData); nothing else goes to it. A pinned pack whose
// answers do not fit its family is reported once and not asked again.
//
// Runs on the polling thread (or the command line's main thread); it never
// touches a widget. Every command goes through the store's façade, whose
// link lock keeps it apart from commands the pages start.
class PackPoller {
public:
    using StopRequested = std::function<bool()>;

    PackPoller(TDevInfo& store, AppGlobals& globals, IPollView& view, StopRequested stopRequested);

    // Any thread. Taken up by the next pack polled.
    void SetPlan(const RPollPlan& plan);
    RPollPlan Plan() const;

    // One pass over the plan's rows; false when a stop was asked for during
    // the pass. While the plan is idle, or when none of those rows is
    // polled, it sends nothing and waits kIdlePause instead.
    bool RunPass();
    // One cycle for the pack in SelectedPack/SelectedAddress, with the PC
    // clock taken once as the cycle time and the plan as it is now.
    void PollPack();
    void PollPack(const QDateTime& cycleTime);
    // Close, wait a second, initialise and open the port again.
    void Reconnect();
    // The view chose to stop polling on a lost port.
    bool StoppedOnLostPort() const { return m_stoppedOnLostPort; }

    RDeviceTime PackTime() const { return m_packTime; }

    // Set before the polling starts, never while it runs (the pointer is read
    // without a lock). The sink is handed each pack's turn as it ends, a turn
    // cut short too. With a sink attached, a pack polled under "Auto", whose
    // cycle reads no bar code, has it read once, the first time it answers.
    void SetSampleSink(IPackSampleSink* sink) { m_sink = sink; }
    // Times a pack's bar code is asked for under "Auto" before it is taken
    // as having none.
    static constexpr int kBarCodeTries = 3;
    // Polling thread: the bar code read for the sink, "" for a pack that
    // has none or did not give it in kBarCodeTries tries, none while it is
    // not known yet.
    std::optional<QString> KnownBarCode(std::uint8_t pack) const;

    // Wait between a result and the next command.
    static constexpr std::chrono::milliseconds kResultPause{100};
    static constexpr std::chrono::milliseconds kReconnectPause{1000};
    static constexpr std::chrono::milliseconds kIdlePause{1000};

private:
    // Waits unless a stop is asked for; false when it was.
    bool Pause(std::chrono::milliseconds duration);
    bool Stopping() const { return m_stopRequested && m_stopRequested(); }
    // A bus job waits for the link: the pack under way ends at the next
    // command (TBusHold).
    bool JobWaiting() const;
    // As Pause, but ends early (true) when a bus job waits for the link.
    bool PauseUnlessJob(std::chrono::milliseconds duration);
    // Lamp from a result and the short pause after it.
    void ShowResult(std::uint8_t result);
    // Shows a failed reading only after the pack has been silent for 90 s.
    bool ShouldRefreshAfter(std::uint8_t result, const QDateTime& cycleTime, const RPollPlan& plan) const;
    // The turn itself; it notes what it sends and reads in sample. False
    // when it sent nothing (a pack not to be read again).
    bool PollTurn(const QDateTime& cycleTime, RPackSample& sample);
    // Parts of a turn; each notes its exchanges in sample and files its
    // result as the cycle's last.
    void SettleResult(RPackSample& sample, std::uint8_t cid2, std::uint8_t result, const QDateTime& cycleTime);
    // Clock (and its sync), bar code and device information of our pack.
    // False when the turn is to end (a stop, a job waiting).
    bool ReadOurHead(const QDateTime& cycleTime, const RPollPlan& plan, RPackSample& sample);
    void ReadAnalog(const QDateTime& cycleTime, const RPollPlan& plan, RPackSample& sample);
    // After a read: the pack's family state into sample; a trouble not told
    // before is told to the view and noted in sample.
    RPackFamilyState NoteFamily(RPackSample& sample);
    // Nothing more is asked of a pack whose family is not known, nor of a
    // pinned one whose answers do not fit it.
    static bool Unreadable(const RPackFamilyState& state);
    // Ends such a pack's turn: the error panel shows why (a misfit as
    // kFamilyMismatch) and the status panels are cleared.
    void LeaveUnread(const RPollPlan& plan, const RPackFamilyState& state);
    // After the last command: a silent pack clears the status panels and
    // has the port opened again.
    void EndTurn();
    // Under "Auto": reads the bar code of a pack that answered this turn
    // while it is not known yet.
    void LearnBarCode(RPackSample& sample);
    // Another maker's pack: its identity, once, the first time it answers.
    void LearnIdentity(RPackSample& sample);

    TDevInfo& m_store;
    AppGlobals& m_globals;
    IPollView& m_view;
    StopRequested m_stopRequested;
    mutable std::mutex m_planLock;
    RPollPlan m_plan;   // guarded by m_planLock
    RDeviceTime m_packTime;
    bool m_stoppedOnLostPort = false;
    bool m_turnAsked = false;   // the last PollPack asked its pack something
    IPackSampleSink* m_sink = nullptr;
    // Bar codes learnt for the sink, by pack number; polling thread only.
    struct LearntBarCode {
        QString barCode;
        int failures = 0;
        bool known = false;
    };
    std::map<std::uint8_t, LearntBarCode> m_barCodes;
    // The family trouble last told, by address; polling thread only.
    std::map<std::uint8_t, RPackFamilyState> m_toldProblems;
};
