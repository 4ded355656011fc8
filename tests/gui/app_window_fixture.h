#pragma once

// The real main window on a program folder of its own, optionally with
// bms-sim behind COM1 on a pseudo-terminal. Message boxes are answered
// without a modal loop and kept for the test to read.

#include "app/main_form.h"
#include "views/message_boxes.h"
#include "app/lamp_shape.h"
#include "support/sim_process.h"

#include <QAbstractButton>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

class MainWindowTest : public ::testing::Test {
protected:
    static constexpr int kWaitMs = 15000;

    void SetUp() override
    {
        ASSERT_TRUE(m_programFolder.isValid());
        m_previousHandler = MessageBoxes::SetHandler([this](QWidget*, const MessageBoxes::Request& request) {
            m_boxes.append(request);
            return m_answer;
        });
    }

    void TearDown() override
    {
        // The window's destructor stops the thread before the store goes.
        m_form.reset();
        m_sim.reset();
        MessageBoxes::SetHandler(m_previousHandler);
    }

    // Starts bms-sim (unless simArguments holds "none"), writes BMS.ini with
    // COM1 mapped to it and the given [BMS] lines, and opens the window.
    void StartWindow(const QStringList& simArguments = {}, const QString& settings = QStringLiteral("PackCount=4\n"),
                     bool withSimulator = true)
    {
        QString ports = QStringLiteral("[Ports]\nCOM2=%1/no-such-device\n").arg(m_programFolder.path());
        if (withSimulator) {
            m_sim = std::make_unique<SimProcess>(simArguments, 4);
            ASSERT_TRUE(m_sim->isReady()) << m_sim->error().toStdString();
            ports += QStringLiteral("COM1=%1\n").arg(m_sim->linkPath());
        }
        ports += m_morePorts;
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // Chinese unless the test says otherwise (the default is English).
        ini.write((ports + QStringLiteral("\n[BMS]\nTextKind=0\n") + settings).toUtf8());
        ini.close();
        m_form = std::make_unique<TMainForm>(m_programFolder.path());
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    // Writes BMS.ini with COM1 mapped to the in-process packs (registered
    // by the caller) and the given [BMS] lines, and opens the window.
    void StartWindowOnInProcessPacks(const QByteArray& settings)
    {
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write("[Ports]\nCOM1=simulator\n\n[BMS]\n" + settings);
        ini.close();
        m_form = std::make_unique<TMainForm>(m_programFolder.path());
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    // The window's own control of that name. The frames name their controls
    // in their own scope ("GroupBox1", "CheckBox4" also live in the alarm
    // panel), so controls inside a frame "Frame..." are passed over.
    template <typename Widget>
    Widget* Find(const char* name) const
    {
        for (Widget* widget : m_form->findChildren<Widget*>(QLatin1String(name))) {
            bool insideFrame = false;
            for (QObject* up = widget->parent(); up && up != m_form.get(); up = up->parent())
                insideFrame = insideFrame || up->objectName().startsWith(QLatin1String("Frame"));
            if (!insideFrame)
                return widget;
        }
        ADD_FAILURE() << "no control " << name;
        return nullptr;
    }

    QString IniPath() const { return m_programFolder.filePath(QStringLiteral("BMS.ini")); }
    // Read from the file itself each time: QSettings keeps what it read and
    // reads again only when size or time stamp changed, and two writes of
    // the same length within one tick of the file system's clock ("1" then
    // "0") leave both unchanged.
    QString Setting(const char* key) const
    {
        QFile file(IniPath());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        bool inSection = false;
        const QString prefix = QLatin1String(key) + QLatin1Char('=');
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            const QString trimmed = line.trimmed();
            if (trimmed.startsWith(QLatin1Char('[')))
                inSection = trimmed == QLatin1String("[BMS]");
            else if (inSection && trimmed.startsWith(prefix))
                return trimmed.mid(prefix.size()).trimmed();
        }
        return {};
    }

    // Clicks the port button and waits until the port has opened or failed
    // to (it rests closed for a moment first); PressPortButton only clicks.
    void ClickPortButton()
    {
        PressPortButton();
        WaitFor([this] {
            const TMainForm::PortState state = m_form->PortStateNow();
            return state != TMainForm::PortState::Opening && state != TMainForm::PortState::Reopening;
        });
    }
    void PressPortButton() { QTest::mouseClick(Find<QAbstractButton>("BtnCom"), Qt::LeftButton); }

    QColor Lamp() const { return Find<TShape>("Shape1")->brushColor(); }

    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = kWaitMs)
    {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    QTemporaryDir m_programFolder;
    QString m_morePorts;   // further lines of [Ports], set before StartWindow
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<TMainForm> m_form;
    QList<MessageBoxes::Request> m_boxes;
    MessageBoxes::Answer m_answer = MessageBoxes::Answer::Ok;
    MessageBoxes::Handler m_previousHandler;
};
