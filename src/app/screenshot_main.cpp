// bmshost-screenshots: the main window on the built-in simulated packs,
// driven to the states scripts/screenshots.sh photographs. Not the product:
// bmshost itself reads no arguments.
//
//   bmshost-screenshots PROGRAM_FOLDER
//
// Loads the settings from PROGRAM_FOLDER, types a wrong password (so that
// the pictures show how the field masks it), opens the port, waits for live
// values and prints "ready zh"; once the file PROGRAM_FOLDER/shot-done-zh
// exists it switches to English, waits for fresh values and prints
// "ready en"; after shot-done-en it closes the window with the real closing
// question on screen and prints "ready box" while it shows; once
// shot-done-box exists it answers OK and the program ends.

#include "app/main_form.h"
#include "app/message_boxes.h"
#include "lib/sim_link.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

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

void Announce(const char* state)
{
    std::printf("ready %s\n", state);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("BMS Host"));
    QCoreApplication::setApplicationName(QStringLiteral("bmshost"));
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

    auto* packInfo = form.findChild<QWidget*>(QStringLiteral("FramePackInfo1"));
    auto* grid = packInfo ? packInfo->findChild<QTableView*>(QStringLiteral("StringGrid1")) : nullptr;
    if (!grid)
        return 1;
    auto liveValues = [grid, &form] {
        return !grid->model()->index(0, 1).data().toString().isEmpty() && !form.StatusPanelText(3).isEmpty();
    };
    auto settled = [] {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        return [started] { return started->elapsed() >= kSettleMs; };
    };
    auto closingQuestion = []() -> QMessageBox* {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box && box->isVisible() ? box : nullptr;
    };
    auto fileExists = [&folder](const char* name) {
        return [path = folder.filePath(QLatin1String(name))] { return QFile::exists(path); };
    };

    QTimer::singleShot(0, [&] {
        form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("1234"));
        form.findChild<QAbstractButton*>(QStringLiteral("BtnCom"))->click();
        When(liveValues, [&] {
            When(settled(), [&] {
                Announce("zh");
                When(fileExists("shot-done-zh"), [&] {
                    form.findChild<QAbstractButton*>(QStringLiteral("RadioButton2"))->click();
                    When(settled(), [&] {
                        Announce("en");
                        When(fileExists("shot-done-en"), [&] {
                            // The closing question as the user sees it: a
                            // real modal box, so that its caption can be
                            // read from the window system.
                            MessageBoxes::SetHandler({});
                            When([&] { return closingQuestion() != nullptr; }, [&] {
                                Announce("box");
                                When(fileExists("shot-done-box"),
                                     [&] { closingQuestion()->button(QMessageBox::Ok)->click(); });
                            });
                            form.close();
                        });
                    });
                });
            });
        });
    });
    return app.exec();
}
