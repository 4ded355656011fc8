// bmshost-screenshots: the main window on the built-in simulated packs,
// driven to the states scripts/screenshots.sh photographs. Not the product:
// bmshost itself reads no arguments.
//
//   bmshost-screenshots PROGRAM_FOLDER
//
// Loads the settings from PROGRAM_FOLDER and opens the port. Then, for each
// language (Chinese, English), it shows page 0 (pack 01 in focus), page 1
// and page 2 (all packs polled with "Auto") and page 3 (pack 01 again),
// each with live values (page 0 also with the bus-scan dialog over it after
// a finished scan, and with the report dialog after it wrote the report of
// packs 1-4 to PROGRAM_FOLDER/report-LANGUAGE.pdf), the chart window over pack 01's readings, page 4 with
// the parameters read from pack 01, page 5 unlocked with the password and
// filled by its read buttons, the password dialog over it, the compare
// window over page 4 (pack 03 holding two parameters of its own) and the
// summary of writing pack 01's set to the others, then pages 6
// and 7 (pack 01) reading its work-data and alarm logs, and the chart of
// the work-data records read. Last, in English, page 0 listening only on
// COM2, where the script has bms-sim play the master of its own packs.
// When a state is ready it prints "ready NAME"
// (page0-zh, scan-zh, report-zh, page1-zh, ..., page3-zh, chart-zh, page4-zh, ...,
// password-zh, compare-zh, summary-zh, page6-zh, page7-zh, chart6-zh,
// page0-en, ..., chart6-en, listening-en) and waits
// for the file PROGRAM_FOLDER/shot-done-NAME. A wrong password is typed first, so that
// the pictures show how the field masks it. After the last page it closes
// the window with the real closing question on screen and prints
// "ready box" while it shows; once shot-done-box exists it answers OK and
// the program ends.

#include "app/app_objects.h"
#include "app/main_form.h"
#include "lib/sim_link.h"
#include "services/settings.h"
#include "params/parameter_info.h"
#include "store/devinfo.h"
#include "views/bus_summary_form.h"
#include "views/comboboxext.h"
#include "views/compare_form.h"
#include "views/framepackconfig.h"
#include "views/framepackhistory.h"
#include "views/reading_chart.h"
#include "views/pwdmodifyform.h"
#include "views/report_form.h"
#include "views/scan_form.h"
#include "views/message_boxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kPollMs = 100;
constexpr int kSettleMs = 1500;

// Runs step once condition holds, checking every kPollMs.
void When(std::function<bool()> condition, std::function<void()> step)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, condition = std::move(condition), step = std::move(step)] {
        if (!condition())
            return;
        timer->stop();
        timer->deleteLater();
        step();
    });
    timer->start(kPollMs);
}

QString GridCell(QWidget* frame, int row, int column)
{
    auto* grid = frame ? frame->findChild<QTableView*>(QStringLiteral("StringGrid1")) : nullptr;
    return grid ? grid->model()->index(row, column).data().toString() : QString();
}

// The window's own control of that name: the pages' frames name their
// controls in their own scope ("ComboBoxExt2", "Edit1" also live on the
// parameter page), so controls inside a frame "Frame..." are passed over.
template <typename Widget>
Widget* OwnControl(QWidget& form, const char* name)
{
    for (Widget* widget : form.findChildren<Widget*>(QLatin1String(name))) {
        bool insideFrame = false;
        for (QObject* up = widget->parent(); up && up != &form; up = up->parent())
            insideFrame = insideFrame || up->objectName().startsWith(QLatin1String("Frame"));
        if (!insideFrame)
            return widget;
    }
    return nullptr;
}

struct State {
    QString name;
    std::function<void()> enter;
    std::function<bool()> ready;
    std::function<void()> leave = [] {};
};

// Page 5 filled the way a user fills it: every read button once, each
// after the one before has ended (the page runs one command at a time).
void ReadConfigPage(TFramePackConfig* page)
{
    const auto afterwards = [page](const std::function<void()>& click) {
        click();
        while (page->IsBusy())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    afterwards([page] { page->BtnReadDateTimeClick(); });
    afterwards([page] { page->BtnReadCapacityClick(); });
    afterwards([page] { page->BtnReadPackQuantityClick(); });
    afterwards([page] { page->BtnReadBarCodeClick(); });
    for (int row = 0; row < TFramePackConfig::kCalibrationRows; ++row)
        afterwards([page, row] { page->ReadCalibrationItem(row, false); });
    afterwards([page] { page->BtnReadProductClick(); });
}

// Pack's own values for two parameters, so the compare has rows to paint.
void ChangeTwoParameters(std::uint8_t pack)
{
    RParameter set = GlobalParameterInfo()->NewParameterSet(pack);
    if (GlobalDevInfo()->ReadParameters(pack, pack, set) != 0)
        return;
    set.Entries[23].Value = Decimal::fromInt(3450);
    set.Entries[30].Value = Decimal::fromInt(3610);
    GlobalDevInfo()->WriteParameters(pack, pack, set, false);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    NameApplication();
    if (argc < 2) {
        std::fprintf(stderr, "usage: bmshost-screenshots PROGRAM_FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    RegisterSimulatorLink();
    MessageBoxes::SetHandler([](QWidget*, const MessageBoxes::Request& request) {
        std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
        return MessageBoxes::Answer::Ok;
    });

    TMainForm form(folder.path());
    form.show();

    auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    auto* packs = OwnControl<TComboBoxExt>(form, "ComboBoxExt2");
    auto* password = OwnControl<QLineEdit>(form, "Edit1");
    auto* packInfo = form.findChild<QWidget*>(QStringLiteral("FramePackInfo1"));
    auto* monitor = form.findChild<QWidget*>(QStringLiteral("FramePackDataMonitor1"));
    auto* location = form.findChild<QWidget*>(QStringLiteral("FramePackLocation1"));
    auto* parameters = form.findChild<QWidget*>(QStringLiteral("FramePackParameter1"));
    auto* config = form.findChild<TFramePackConfig*>(QStringLiteral("FramePackConfig1"));
    auto* workDataPage = form.findChild<TFramePackWorkDataInfo*>(QStringLiteral("FramePackWorkDataInfo1"));
    QWidget* workData = workDataPage;
    auto* alarmRecords = form.findChild<QWidget*>(QStringLiteral("FramePackAlarmDataInfo1"));
    if (!pages || !packs || !password || !packInfo || !monitor || !location || !parameters || !config
        || !workData || !alarmRecords)
        return 1;
    QPointer<TPwdModifyForm> dialog;
    QPointer<TScanForm> scan;
    QPointer<TCompareForm> compare;
    QPointer<TReportForm> report;

    auto choosePack = [packs](const QString& text) {
        const int index = packs->findText(text);
        packs->setCurrentIndex(index);
        emit packs->activated(index);
    };
    auto showPage = [pages](int index) { pages->setCurrentIndex(index); };
    auto started = std::make_shared<QElapsedTimer>();
    auto settled = [started] { return started->elapsed() >= kSettleMs; };

    auto closingQuestion = []() -> QMessageBox* {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box && box->isVisible() ? box : nullptr;
    };

    std::vector<State> states;
    for (const char* language : {"zh", "en"}) {
        const QString suffix = QLatin1Char('-') + QLatin1String(language);
        const bool english = QLatin1String(language) == QLatin1String("en");
        states.push_back({QStringLiteral("page0") + suffix,
                          [&, english] {
                              if (english)
                                  form.findChild<QAbstractButton*>(QStringLiteral("RadioButton2"))->click();
                              choosePack(QStringLiteral("01"));
                              showPage(0);
                          },
                          [&] { return !GridCell(packInfo, 0, 1).isEmpty() && !form.StatusPanelText(3).isEmpty(); }});
        // The bus-scan dialog over page 0, its scan of addresses 1-16 done.
        states.push_back({QStringLiteral("scan") + suffix,
                          [&] {
                              scan = new TScanForm(*GlobalDevInfo(), RScanRange{1, kMaxPacks}, &form);
                              scan->adjustSize();
                              scan->move(form.geometry().center() - scan->rect().center());
                              scan->show();
                              scan->Start();
                          },
                          [&] { return scan && !scan->IsScanning(); },
                          [&] { delete scan; }});
        // The report dialog over page 0 once it has written the report of
        // all packs to PROGRAM_FOLDER/report-LANGUAGE.pdf.
        states.push_back({QStringLiteral("report") + suffix,
                          [&, suffix] {
                              report = new TReportForm(*GlobalDevInfo(), kMaxPacks, &form);
                              report->EditPacks->setText(QStringLiteral("1-4"));
                              report->EditPdf->setText(folder.filePath(QStringLiteral("report") + suffix
                                                                                    + QStringLiteral(".pdf")));
                              report->adjustSize();
                              report->move(form.geometry().center() - report->rect().center());
                              report->show();
                              report->BtnMakeClick();
                          },
                          [&] { return report && !report->IsRunning(); },
                          [&] { delete report; }});
        states.push_back({QStringLiteral("page1") + suffix,
                          [&] {
                              choosePack(QStringLiteral("Auto"));
                              showPage(1);
                          },
                          [&] {
                              for (int column = 3; column <= 6; ++column) {
                                  if (GridCell(monitor, 0, column).isEmpty())
                                      return false;
                              }
                              return true;
                          }});
        states.push_back({QStringLiteral("page2") + suffix, [&] { showPage(2); },
                          [&] { return form.RealTimeFrame(1)->model()->readingCount() >= 8; }});
        states.push_back({QStringLiteral("page3") + suffix,
                          [&] {
                              choosePack(QStringLiteral("01"));
                              showPage(3);
                          },
                          [&] {
                              auto* edit = location->findChild<QLineEdit*>(QStringLiteral("Edit12"));
                              return edit && !edit->text().isEmpty();
                          }});
        // The chart window over pack 01's readings gathered so far.
        states.push_back({QStringLiteral("chart") + suffix,
                          [&] {
                              choosePack(QStringLiteral("01"));
                              showPage(0);
                              OwnControl<QAbstractButton>(form, "BtnChart")->click();
                          },
                          [&] { return form.ChartWindow() && form.ChartWindow()->Chart()->Points().size() >= 8; },
                          [&] { form.ChartWindow()->close(); }});
        // Row 1 is the battery node number: 0 until the set is read.
        states.push_back({QStringLiteral("page4") + suffix,
                          [&] {
                              showPage(4);
                              parameters->findChild<QAbstractButton*>(QStringLiteral("BtnReadParameter"))->click();
                          },
                          [&] {
                              const QString nodes = GridCell(parameters, 1, 5);
                              return !nodes.isEmpty() && nodes != QLatin1String("0");
                          }});
        states.push_back({QStringLiteral("page5") + suffix,
                          [&] {
                              password->setText(Globals().StoredPassword);
                              showPage(5);
                              ReadConfigPage(config);
                          },
                          [&] {
                              auto* edit = config->findChild<QLineEdit*>(QStringLiteral("Edit25"));
                              return edit && !edit->text().isEmpty();
                          }});
        states.push_back({QStringLiteral("password") + suffix,
                          [&] {
                              dialog = new TPwdModifyForm(Globals().StoredPassword, &form);
                              for (const char* name : {"Edit1", "Edit2", "Edit3"})
                                  dialog->findChild<QLineEdit*>(QLatin1String(name))->setText(QStringLiteral("secret1"));
                              dialog->adjustSize();
                              dialog->move(form.geometry().center() - dialog->rect().center());
                              dialog->show();
                          },
                          [&] { return dialog && dialog->isVisible(); },
                          [&] {
                              delete dialog;
                              password->setText(QStringLiteral("1234"));
                          }});
        // The compare window over page 4, pack 03 holding two parameters
        // of its own, then the summary of writing pack 01's set to the rest.
        states.push_back({QStringLiteral("compare") + suffix,
                          [&] {
                              password->setText(Globals().StoredPassword);
                              showPage(4);
                              ChangeTwoParameters(3);
                              compare = new TCompareForm(*GlobalDevInfo(), &form);
                              compare->resize(1000, 640);
                              compare->move(form.geometry().center() - compare->rect().center());
                              compare->show();
                              compare->BtnReadPacksClick();
                          },
                          [&] { return compare && !compare->IsBusy() && compare->DifferenceCount() > 0; }});
        states.push_back({QStringLiteral("summary") + suffix,
                          [&] { compare->BtnWriteToPacksClick(); },
                          [&] { return qobject_cast<TBusSummaryForm*>(QApplication::activeModalWidget()) != nullptr; },
                          [&] {
                              QApplication::activeModalWidget()->close();
                              compare->deleteLater();
                              password->setText(QStringLiteral("1234"));
                          }});
        // The record pages of pack 01, reading: the first press of "read"
        // starts a transfer, which pauses on other pages.
        for (const std::pair<int, QWidget*>& recordPage : {std::pair{6, workData}, std::pair{7, alarmRecords}}) {
            const int index = recordPage.first;
            QWidget* frame = recordPage.second;
            states.push_back({QStringLiteral("page%1").arg(index) + suffix,
                              [&, index, frame] {
                                  showPage(index);
                                  auto* read = frame->findChild<QAbstractButton*>(QStringLiteral("BtnRead"));
                                  if (read->isEnabled() && GridCell(frame, 0, 0).isEmpty())
                                      read->click();
                              },
                              [frame] { return !GridCell(frame, 14, 0).isEmpty(); }});
        }
        // The records read so far as a chart.
        states.push_back({QStringLiteral("chart6") + suffix,
                          [&] {
                              showPage(6);
                              workDataPage->BtnRecordChartClick();
                          },
                          [&] { return workDataPage->RecordChart() && workDataPage->RecordChart()->isVisible(); },
                          [&] { workDataPage->RecordChart()->close(); }});
    }

    // The port closed, then COM2 opened to listen only, pack 02 chosen.
    auto* ports = OwnControl<TComboBoxExt>(form, "ComboBoxExt1");
    auto* portButton = form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"));
    states.push_back({QStringLiteral("listening-en"),
                      [&, ports, portButton] {
                          portButton->click();
                          ports->setCurrentIndex(ports->findText(QStringLiteral("COM2")));
                          form.findChild<QCheckBox*>(QStringLiteral("CheckBoxListen"))->setChecked(true);
                          choosePack(QStringLiteral("02"));
                          showPage(0);
                          portButton->click();
                      },
                      [&] {
                          return form.IsPolling() && GlobalDevInfo()->GetAnalogData(2).totalVoltage != Decimal()
                              && !GridCell(packInfo, 0, 1).isEmpty();
                      }});

    std::function<void(std::size_t)> run = [&](std::size_t index) {
        if (index == states.size()) {
            // The closing question as the user sees it: a real modal box, so
            // that its caption can be read from the window system.
            MessageBoxes::SetHandler({});
            When([&] { return closingQuestion() != nullptr; }, [&] {
                std::printf("ready box\n");
                std::fflush(stdout);
                When([path = folder.filePath(QStringLiteral("shot-done-box"))] { return QFile::exists(path); },
                     [&] { closingQuestion()->button(QMessageBox::Ok)->click(); });
            });
            form.close();
            return;
        }
        const State& state = states[index];
        state.enter();
        When(state.ready, [&, index] {
            started->start();
            When(settled, [&, index] {
                const QString name = states[index].name;
                std::printf("ready %s\n", qPrintable(name));
                std::fflush(stdout);
                When([path = folder.filePath(QStringLiteral("shot-done-") + name)] { return QFile::exists(path); },
                     [&, index] {
                         states[index].leave();
                         run(index + 1);
                     });
            });
        });
    };

    QTimer::singleShot(0, [&] {
        password->setText(QStringLiteral("1234"));
        form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
        run(0);
    });
    return app.exec();
}
