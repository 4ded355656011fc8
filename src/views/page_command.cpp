#include "views/page_command.h"

#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/port_open.h"
#include "views/family_view.h"
#include "views/message_boxes.h"
#include "views/port_check.h"

#include <QEvent>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include <chrono>

namespace {

// The rest between closing a lost port and opening it again, taken on the
// runner's thread in short steps so that a closing window need not wait it
// out.
bool RestBeforeReopen(const TBusWorker::Job& job)
{
    using namespace std::chrono;
    constexpr milliseconds kStep{20};
    for (milliseconds rested{0}; rested < kPortReopenPause; rested += kStep) {
        if (job.cancelled())
            return false;
        QThread::msleep(static_cast<unsigned long>(kStep.count()));
    }
    return !job.cancelled();
}

// Every page command helper alive; user-interface thread only.
std::vector<TPageCommand*>& Helpers()
{
    static std::vector<TPageCommand*> helpers;
    return helpers;
}

// How often a result waiting for an open question looks again.
constexpr std::chrono::milliseconds kQuestionLook{100};

// A job's result never lands on top of a question that is open meanwhile
// (the close question among them): it waits until that one is answered,
// and is dropped once the window closed (the runner was shut down).
void ShowWhenNoQuestionIsOpen(QObject* context, TBusWorker* runner, std::function<void()> show)
{
    if (runner->isShutDown())
        return;
    if (!MessageBoxes::AnyOpen()) {
        show();
        return;
    }
    QTimer::singleShot(kQuestionLook, context, [context, runner, show = std::move(show)]() mutable {
        ShowWhenNoQuestionIsOpen(context, runner, std::move(show));
    });
}

} // namespace

TPageCommand::TPageCommand(QWidget* page) : QObject(page), m_page(page)
{
    page->installEventFilter(this);
    Helpers().push_back(this);
}

TPageCommand::~TPageCommand()
{
    std::erase(Helpers(), this);
}

void TPageCommand::ShowBusyOnRunner(TBusWorker* runner, bool busy)
{
    // A copy: a page may go while the others are told.
    const std::vector<TPageCommand*> helpers = Helpers();
    for (TPageCommand* helper : helpers)
        if (helper->m_runner == runner && helper->m_busy != busy)
            helper->ShowBusy(busy);
}

void TPageCommand::SetRunner(TBusWorker* runner)
{
    m_runner = runner;
}

TBusWorker* TPageCommand::Runner()
{
    if (!m_runner)
        m_runner = new TBusWorker(this);
    return m_runner;
}

bool TPageCommand::CheckPort(TDevInfo* store)
{
    m_checkInJob = false;
    if (RefusedWhileListening(m_page))
        return false;
    const AppGlobals& globals = Globals();
    m_checkedStore = store;
    m_checkedAddress = globals.SelectedAddress;
    m_checkedPack = globals.SelectedPack;
    // Another maker's pack is only read: nothing else is asked or sent.
    if (store) {
        if (const std::optional<QString> refusal = ForeignPackRefusal(*store, m_checkedAddress, m_checkedPack)) {
            MessageBoxes::Inform(m_page, *refusal);
            return false;
        }
    }
    // Whether the port the user opened is still there is asked in the job:
    // the answer waits for the link, which an exchange of the polling
    // thread may hold for a second. Gone, the job opens it again first, as
    // the polling thread's reconnect does.
    if (store && globals.PortOpened) {
        m_checkInJob = true;
        return true;
    }
    // A port never opened by the user is free: nothing polls it.
    if (store && store->IsSerialOpen(globals.PortNumber))
        return true;
    MessageBoxes::Inform(m_page, TTextOper().GetLanguageText(TextId::kPortNotOpen));
    return false;
}

QString TPageCommand::ResultText(std::uint8_t result) const
{
    if (!m_checkedStore)
        return TTextOper().GetErrorText(result);
    return CommandResultText(*m_checkedStore, m_checkedAddress, m_checkedPack, result);
}

bool TPageCommand::Start(TDevInfo* store, std::function<void(TDevInfo&)> work, std::function<void()> done)
{
    TBusWorker* runner = Runner();
    if (!store || m_busy || runner->isBusy())
        return false;
    const bool checkPort = std::exchange(m_checkInJob, false);
    const std::uint8_t port = Globals().PortNumber;
    auto portGone = std::make_shared<bool>(false);
    const bool started =
        runner->start([store, checkPort, port, portGone, work = std::move(work)](const TBusWorker::Job& job) {
            if (checkPort && !store->IsSerialOpen(port)
                && !ReopenPort(*store, [&job] { return RestBeforeReopen(job); })) {
                *portGone = true;
                return;
            }
            work(*store);
        });
    if (!started)
        return false;
    ShowBusyOnRunner(runner, true);
    // The runner's next end is this job's: it refuses every other start
    // until then.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(runner, &TBusWorker::finished, this,
                          [this, connection, portGone, store, port, done = std::move(done)](bool) {
                              disconnect(*connection);
                              ShowBusyOnRunner(m_runner, false);
                              ShowWhenNoQuestionIsOpen(this, m_runner, [this, portGone, store, port, done] {
                                  if (*portGone)
                                      MessageBoxes::Inform(m_page,
                                                           TTextOper()
                                                               .GetLanguageText(TextId::kPortWentAwayOnPage)
                                                               .arg(PortName(*store, port)));
                                  else
                                      done();
                              });
                          });
    return true;
}

void TPageCommand::ShowBusy(bool busy)
{
    m_busy = busy;
    if (busy) {
        m_wasEnabled.clear();
        for (QWidget* control : m_controls) {
            m_wasEnabled.push_back(control->isEnabled());
            control->setEnabled(false);
        }
        m_page->setCursor(Qt::BusyCursor);
    } else {
        for (std::size_t k = 0; k < m_controls.size() && k < m_wasEnabled.size(); ++k)
            m_controls[k]->setEnabled(m_wasEnabled[k]);
        m_page->unsetCursor();
    }
    if (!m_note && busy) {
        m_note = new QLabel(m_page);
        m_note->setObjectName(QStringLiteral("LabelPageBusy"));
        m_note->setStyleSheet(QStringLiteral("QLabel { background: #FFF3B0; border: 1px solid #C8A800; padding: 3px; }"));
    }
    if (m_note) {
        m_note->setText(TTextOper().GetLanguageText(TextId::kWaitingForPack));
        PlaceNote();
        m_note->setVisible(busy);
        m_note->raise();
    }
    emit busyChanged(busy);
}

void TPageCommand::PlaceNote()
{
    // Over the page's bottom right corner, where no page keeps a control
    // the user needs while waiting.
    m_note->adjustSize();
    const QSize size = m_note->sizeHint();
    m_note->setGeometry(m_page->width() - size.width() - 8, m_page->height() - size.height() - 8, size.width(),
                        size.height());
}

bool TPageCommand::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_page && event->type() == QEvent::Resize && m_note && m_note->isVisible())
        PlaceNote();
    return QObject::eventFilter(watched, event);
}
