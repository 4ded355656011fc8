#pragma once

// TPageCommand: how a page sends a command of its own. The exchange runs as
// a job on the window's one runner (a TBusWorker), never on the
// user-interface thread, so that the window keeps answering while the pack
// takes its time: other tabs open, the live values keep coming.
//
// The page asks its questions first (CheckPort, its inputs, a confirmation),
// then hands Run the work, which calls the store's command on the runner's
// thread (the command holds the link lock for its whole exchange), and what
// to do with the result, which runs back on the user-interface thread after
// the job's end: messages are made and shown there, never in the job.
//
// While the job runs the controls of every page on the same runner are off
// and a note on each says that it waits for the pack. The runner takes one
// job at a time: a second Run is refused, and with it nothing is shown (the
// controls are already off).
//
// User-interface thread only, except the work itself.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <utility>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QWidget;
class TBusWorker;
class TDevInfo;

class TPageCommand final : public QObject {
    Q_OBJECT
public:
    // page: where the busy note shows and whose controls go off.
    explicit TPageCommand(QWidget* page);
    ~TPageCommand() override;

    // The window's runner, shared by every page; without one the page makes
    // one of its own on first use (a page shown alone, as in tests).
    void SetRunner(TBusWorker* runner);
    TBusWorker* Runner();
    // The controls that go off while a command runs; each gets back the
    // enabled state it had.
    void SetControls(std::vector<QWidget*> controls) { m_controls = std::move(controls); }

    // The check before a command to the pack in focus: refused while
    // listening; refused with "Pack N is of family X: only its live values
    // are read" for a pack known to be another maker's (or not answering as
    // its pinned family), before any question is asked; "The serial port
    // is not open!" for a port never opened. A port the user opened is
    // checked by the next Run inside its job, and opened again there when
    // it went away.
    bool CheckPort(TDevInfo* store);
    // The message of a command's result on the pack the last CheckPort
    // passed: the guard's refusals of another family's pack read as the
    // refusal above, every other result as its error text.
    QString ResultText(std::uint8_t result) const;
    // Whether a command runs on this page's runner (this page's or another's).
    bool IsBusy() const { return m_busy; }

    // Runs work(store) on the runner and then done(result) here. False, and
    // nothing run, while the runner has a job.
    template <typename Result>
    bool Run(TDevInfo* store, std::function<Result(TDevInfo&)> work, std::function<void(const Result&)> done)
    {
        auto result = std::make_shared<std::optional<Result>>();
        return Start(
            store, [work = std::move(work), result](TDevInfo& onStore) { *result = work(onStore); },
            [done = std::move(done), result] {
                if (*result)
                    done(**result);
            });
    }

    // A command that reads one value: the job starts from start, read fills
    // it and returns the result code, and done gets both on the window's
    // thread.
    template <typename Value>
    bool Read(TDevInfo* store, Value start, std::function<std::uint8_t(TDevInfo&, Value&)> read,
              std::function<void(std::uint8_t result, const Value& value)> done)
    {
        using Got = std::pair<std::uint8_t, Value>;
        return Run<Got>(
            store,
            [start = std::move(start), read = std::move(read)](TDevInfo& onStore) {
                Got got{0, start};
                got.first = read(onStore, got.second);
                return got;
            },
            [done = std::move(done)](const Got& got) { done(got.first, got.second); });
    }

signals:
    // A command on the runner began (true) or ended; for a page whose
    // controls follow rules of their own.
    void busyChanged(bool busy);

private:
    bool Start(TDevInfo* store, std::function<void(TDevInfo&)> work, std::function<void()> done);
    // Every page on the runner shows the state.
    void ShowBusyOnRunner(TBusWorker* runner, bool busy);
    void ShowBusy(bool busy);
    void PlaceNote();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget* m_page;
    QPointer<TBusWorker> m_runner;
    std::vector<QWidget*> m_controls;
    std::vector<bool> m_wasEnabled;
    QLabel* m_note = nullptr;
    bool m_busy = false;
    // CheckPort left the port to the next job: it checks that the port is
    // open and opens it again first when it went away.
    bool m_checkInJob = false;
    // The store, address and pack of the last CheckPort, for ResultText.
    TDevInfo* m_checkedStore = nullptr;
    std::uint8_t m_checkedAddress = 0;
    std::uint8_t m_checkedPack = 0;
};
