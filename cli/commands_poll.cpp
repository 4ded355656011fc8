// "poll": the polling cycle of the main window's polling thread, run on the
// main thread with a view that prints each reading and, when asked, appends
// it to the pack's real-time log file.
#include "commands.h"
#include "interrupt.h"
#include "live_records.h"
#include "output_options.h"
#include "poll_view.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "store/devinfo.h"
#include "store/pack_list.h"
#include "store/pack_poller.h"
#include "store/realtime_row.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <limits>
#include <map>
#include <vector>

namespace {

constexpr std::int64_t kMaxIntervalMs = 3600000;

struct PollRequest {
    bool autoPacks = false;
    std::vector<std::uint8_t> packs;   // empty: the pack at --address
    std::int64_t count = 0;            // 0: until interrupted
    std::int64_t intervalMs = 0;
    bool reconnect = false;            // wait for a lost port to come back
    RMonitoringSettings outputs;
};

// Marks the packs to poll in the pack table and makes the plan for them:
// several packs are polled as under "Auto", one in full. The tool keeps no
// pack clock in step and shows no location page.
RPollPlan Select(Session& session, const PollRequest& request)
{
    AppGlobals& globals = session.globals();
    std::vector<std::uint8_t> packs = request.autoPacks ? AllPacks(globals.PackCount.load()) : request.packs;
    if (packs.empty())
        packs.push_back(session.pack());
    session.store().SelectPacks(packs);
    RPollPlan plan;
    plan.allPacks = request.autoPacks || packs.size() > 1;
    plan.packRows = packs.back();
    // The focus before the first pack is polled, as the window leaves it.
    globals.SelectedPack = plan.allPacks ? 0 : packs.front();
    globals.SelectedAddress = packs.front();
    return plan;
}

// Waits between passes, keeping the outputs going; false when the run is
// to stop.
bool Wait(std::int64_t milliseconds, const std::function<void()>& between, const std::function<bool()>& stop)
{
    for (std::int64_t waited = 0; waited < milliseconds; waited += 20) {
        if (stop())
            return false;
        between();
        QThread::msleep(static_cast<unsigned long>(std::min<std::int64_t>(20, milliseconds - waited)));
    }
    return !stop();
}

int RunPoll(Session& session, const PollRequest& request)
{
    // Outputs that follow the polling take each pack's turn through one
    // fan-out; none attached, the cycle is the plain one.
    MonitoringOutputs outputs(session.store());
    if (QString error; !StartOutputs(outputs, request.outputs, false, session.out(), error))
        return session.failed(error);
    const std::function<bool()> stop = StopRequested(outputs);
    const std::function<void()> between = [&outputs, &session] { PumpOutputs(outputs, session.out()); };
    const RPollPlan plan = Select(session, request);
    PrintingPollView view(session, request.reconnect, plan.allPacks, false, between);
    PackPoller poller(session.store(), session.globals(), view, stop);
    poller.SetPlan(plan);
    poller.SetSampleSink(outputs.Sink());
    for (std::int64_t pass = 1; request.count == 0 || pass <= request.count; ++pass) {
        const bool goOn = poller.RunPass();
        view.FinishPack();
        if (!goOn || (pass != request.count && !Wait(request.intervalMs, between, stop)))
            break;
    }
    const QString outputFailure = FinishOutputs(outputs, session.out());
    if (!outputFailure.isEmpty())
        return session.failed(outputFailure);
    if (view.portGone())
        return session.failed(view.lastFailure());
    // Failed exchanges are reported line by line; only a run in which no
    // reading arrived at all is a failed command, and it says why.
    if (view.readings() > 0)
        return 0;
    return session.failed(view.lastFailure().isEmpty()
                              ? QStringLiteral("no reading arrived")
                              : QStringLiteral("no reading arrived; last error: %1").arg(view.lastFailure()));
}

} // namespace

Prepared PreparePoll(const CommandArgs& args)
{
    if (!args.positional.isEmpty())
        return Prepared::Usage(QStringLiteral("poll takes only options: --packs, --count, --interval, --csv, --reconnect, --mqtt..."));
    PollRequest request;
    if (args.has("--packs")) {
        // The one pack-list rule of every command, with "auto" besides; a
        // pass polls in address order.
        QString why;
        const auto choice = ParsePackChoice(args.value("--packs"), Globals().PackCount.load(), &why);
        if (!choice)
            return Prepared::Usage(QStringLiteral("--packs takes auto or a pack list: %1").arg(why));
        request.autoPacks = choice->automatic;
        if (!choice->automatic) {
            request.packs = choice->packs;
            std::sort(request.packs.begin(), request.packs.end());
        }
    }
    if (args.has("--count")) {
        const auto count = ParseWholeIn(args.value("--count"), 1, std::numeric_limits<std::int32_t>::max());
        if (!count)
            return Prepared::Usage(QStringLiteral("--count takes a positive whole number, not %1")
                                       .arg(QuotedInput(args.value("--count"))));
        request.count = *count;
    }
    if (args.has("--interval")) {
        const auto interval = ParseWholeIn(args.value("--interval"), 0, kMaxIntervalMs);
        if (!interval)
            return Prepared::Usage(QStringLiteral("--interval takes milliseconds 0-%1, not %2")
                                       .arg(kMaxIntervalMs).arg(QuotedInput(args.value("--interval"))));
        request.intervalMs = *interval;
    }
    request.reconnect = args.has("--reconnect");
    if (QString error; !PrepareOutputOptions(args, request.outputs, error))
        return Prepared::Usage(error);
    return Prepared::Run([request](Session& session) { return RunPoll(session, request); });
}
