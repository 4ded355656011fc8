// The configuration page's work on the whole bus: setting every pack's
// clock to the PC clock.

#include "views/framepackconfig.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_jobs.h"
#include "store/bus_texts.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/pack_list.h"
#include "views/bus_summary_form.h"
#include "views/family_view.h"
#include "views/port_check.h"

#include <QProgressBar>
#include <QPushButton>

#include <memory>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

// The guard refuses another maker's pack without sending: its row says so.
void ShowClockSummary(QWidget* parent, TDevInfo& store, const RClockSyncReport& report)
{
    const TTextOper texts;
    std::vector<TBusSummaryForm::Row> rows;
    for (const RClockOutcome& outcome : report.packs) {
        if (!outcome.asked) {
            rows.push_back({{QString::number(outcome.pack), QString(), OffsetText(std::nullopt),
                             ReachText(outcome.reach, texts)},
                            false});
            continue;
        }
        rows.push_back({{QString::number(outcome.pack),
                         outcome.readResult == 0 ? FormatDeviceTime(outcome.before)
                                                 : CommandResultText(store, outcome.pack, outcome.pack, outcome.readResult),
                         OffsetText(outcome.offsetSeconds),
                         outcome.ok() ? Text(TextId::kOperationSucceeded)
                                      : CommandResultText(store, outcome.pack, outcome.pack, outcome.writeResult)},
                        outcome.ok()});
    }
    TBusSummaryForm summary(Text(BusText::kClockSummary),
                            {Text(BusText::kPack), Text(BusText::kPackTime), Text(BusText::kOffsetSeconds),
                             Text(BusText::kResult)},
                            rows, parent);
    summary.Run();
}

} // namespace

bool TFramePackConfig::IsSyncingClocks() const
{
    return m_clockWorker && m_clockWorker->isRunning();
}

void TFramePackConfig::BtnSyncAllClocksClick()
{
    if (!Globals().PasswordOk || IsSyncingClocks() || !PortReady(this, m_store) || !Confirmed(BusText::kConfirmSyncAll))
        return;
    if (!m_clockWorker) {
        qRegisterMetaType<RClockSyncReport>();
        m_clockWorker = new TBusWorker(this);
        auto report = std::make_shared<RClockSyncReport>();
        connect(m_clockWorker, &TBusWorker::progressed, this, [this](int done, int total, const QString&) {
            ProgressSyncClocks->setMaximum(total);
            ProgressSyncClocks->setValue(done);
        });
        connect(m_clockWorker, &TBusWorker::delivered, this,
                [report](const QVariant& value) { *report = value.value<RClockSyncReport>(); });
        connect(m_clockWorker, &TBusWorker::finished, this, [this, report](bool) {
            ShowSyncRunning(false);
            ShowClockSummary(this, *m_store, *report);
        });
    }
    const std::vector<std::uint8_t> packs = AllPacks(Globals().PackCount.load());
    TDevInfo* store = m_store;
    ProgressSyncClocks->setRange(0, int(packs.size()));
    ProgressSyncClocks->setValue(0);
    ShowSyncRunning(true);
    m_clockWorker->start([store, packs](const TBusWorker::Job& job) {
        job.deliver(QVariant::fromValue(SyncClocks(*store, packs, job.control())));
    });
}

void TFramePackConfig::BtnCancelSyncClocksClick()
{
    if (!IsSyncingClocks())
        return;
    // The pack under way is set first; the rest are named "not tried".
    m_clockWorker->cancel();
    BtnCancelSyncClocks->setEnabled(false);
}

void TFramePackConfig::ShowSyncRunning(bool running)
{
    BtnSyncAllClocks->setEnabled(!running);
    BtnCancelSyncClocks->setEnabled(running);
    BtnCancelSyncClocks->setVisible(running);
    ProgressSyncClocks->setVisible(running);
}
