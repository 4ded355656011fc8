// The window listening to a bus that bms-sim polls as its master: page 0
// shows the pack chosen as it is heard, the status bar says that nothing is
// sent, every action that would send is refused, and not a byte reaches the
// line; an adapter pulled while listening shows as it does while polling.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "services/password_store.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "protocol/frame.h"
#include "store/devinfo.h"
#include "views/comboboxext.h"

#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTableView>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

QString Cell(const QWidget* frame, int row, int column)
{
    const auto* grid = frame->findChild<QTableView*>(QStringLiteral("StringGrid1"));
    return grid->model()->index(row, column).data(Qt::DisplayRole).toString();
}

// As the user chooses: the window follows "activated", not a change made by code.
void ChooseItem(TComboBoxExt* combo, const QString& text)
{
    const int target = combo->findText(text);
    ASSERT_GE(target, 0);
    while (combo->currentIndex() < target)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > target)
        QTest::keyClick(combo, Qt::Key_Up);
}

class ListenTest : public MainWindowTest {
protected:
    // The simulator polls its four packs every 150 ms; the window, with
    // pack 2 chosen, opens COM1 to listen only.
    void OpenListening()
    {
        m_statsPath = m_programFolder.filePath(QStringLiteral("sim-stats.json"));
        StartWindow({"--master", "150", "--commands", "analog,alarm", "--timeout", "200", "--stats", m_statsPath},
                    QStringLiteral("PackCount=4\nPackRead=2\n"));
        Find<QCheckBox>("CheckBoxListen")->setChecked(true);
        ClickPortButton();
        ASSERT_TRUE(m_form->IsPolling());
    }

    // Stops the simulator; what the window wrote to the line, as it counted.
    qint64 BytesWrittenToTheLine()
    {
        m_sim->stop();
        QFile file(m_statsPath);
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        return QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("listener_bytes")).toInteger(-1);
    }

    QString m_statsPath;
};

TEST_F(ListenTest, PageZeroShowsTheChosenPackAsHeardAndTheStatusBarSaysNothingIsSent)
{
    OpenListening();
    const TDevInfo& store = *GlobalDevInfo();
    const auto* info = Find<QWidget>("FramePackInfo1");
    EXPECT_TRUE(Find<QLabel>("StatusBar1Listening")->isVisible());
    EXPECT_EQ(Find<QLabel>("StatusBar1Listening")->text(), Text(TextId::kListeningNothingSent));
    EXPECT_FALSE(Find<QCheckBox>("CheckBoxListen")->isEnabled());

    // Every pack is heard and filed; page 0 stays on pack 2 (address 2,
    // shown as 1) whichever pack the master asks.
    QSet<QString> addressesShown;
    EXPECT_TRUE(WaitFor([&] {
        addressesShown.insert(Find<QLabel>("Label6")->text());
        for (std::uint8_t pack = 1; pack <= 4; ++pack)
            if (store.GetAnalogData(pack).totalVoltage == Decimal())
                return false;
        return Cell(info, 0, 1) == store.GetAnalogData(2).totalVoltage.format(u"0.000");
    }));
    EXPECT_EQ(addressesShown, QSet<QString>{QStringLiteral("1")});
    EXPECT_TRUE(WaitFor([this] { return Lamp() == QColor(0, 128, 0); }));

    // Choosing another pack only changes what is shown.
    ChooseItem(Find<TComboBoxExt>("ComboBoxExt2"), QStringLiteral("03"));
    EXPECT_EQ(Find<QLabel>("Label6")->text(), QStringLiteral("2"));
    EXPECT_TRUE(WaitFor([&] { return Cell(info, 0, 1) == store.GetAnalogData(3).totalVoltage.format(u"0.000"); }));
    EXPECT_TRUE(m_boxes.isEmpty());

    // Closed again, the window may send: the listen mark goes.
    ClickPortButton();
    EXPECT_FALSE(m_form->IsPolling());
    EXPECT_FALSE(Find<QLabel>("StatusBar1Listening")->isVisible());
    EXPECT_TRUE(Find<QCheckBox>("CheckBoxListen")->isEnabled());
    EXPECT_EQ(BytesWrittenToTheLine(), 0);
}

TEST_F(ListenTest, TheTrafficConsoleShowsEachHeardRequestBesideItsAnswerMarkedAsHeard)
{
    OpenListening();
    QTest::mouseClick(Find<QAbstractButton>("BtnTraffic"), Qt::LeftButton);
    TTrafficConsole* console = m_form->TrafficConsole();
    ASSERT_NE(console, nullptr);
    const auto* table = console->findChild<QTableView*>(QStringLiteral("TrafficTable"));
    ASSERT_NE(table, nullptr);
    // An analog request of pack 2 and its answer, on one row.
    const QString request = QString::fromLatin1(frame::BuildFrame(2, 0x42, QByteArray(1, '\x02')));
    int row = -1;
    ASSERT_TRUE(WaitFor([&] {
        console->Refresh();
        for (row = 0; row < table->model()->rowCount(); ++row)
            if (table->model()->index(row, TTrafficModel::ColRequest).data().toString().startsWith(request.chopped(1))
                && !table->model()->index(row, TTrafficModel::ColAnswer).data().toString().isEmpty())
                return true;
        return false;
    }));
    const QString heard = Text(TextId::kTrafficHeard);
    EXPECT_TRUE(table->model()->index(row, TTrafficModel::ColSent).data().toString().endsWith(heard));
    EXPECT_TRUE(table->model()->index(row, TTrafficModel::ColAnswer).data().toString().startsWith(QStringLiteral("~21024600")));
    EXPECT_TRUE(console->ShownLines(false).front().startsWith(heard + QLatin1Char(' ')));
}

TEST_F(ListenTest, EveryActionThatWouldSendIsRefusedAndNothingReachesTheLine)
{
    OpenListening();
    // With the password the write and sync controls are open too.
    Find<QLineEdit>("Edit1")->setText(QString::fromLatin1(kDefaultPassword));
    struct Action {
        const char* name;
        int page;            // -1: a control of page 0
        const char* frame;   // the page's frame, or null
        const char* button;
    };
    const Action actions[] = {
        {"parameter read", 4, "FramePackParameter1", "BtnReadParameter"},
        {"clock read", 5, "FramePackConfig1", "BtnReadDateTime"},
        {"capacity read", 5, "FramePackConfig1", "BtnReadCapacity"},
        {"clock sync of every pack", 5, "FramePackConfig1", "BtnSyncAllClocks"},
        {"work-data records", 6, "FramePackWorkDataInfo1", "BtnRead"},
        {"alarm records", 7, "FramePackAlarmDataInfo1", "BtnRead"},
        {"bus scan", -1, nullptr, "BtnScan"},
        {"service report", -1, nullptr, "BtnReport"},
    };
    for (const Action& action : actions) {
        SCOPED_TRACE(action.name);
        QWidget* scope = m_form.get();
        if (action.page >= 0) {
            Find<QTabWidget>("PageControl1")->setCurrentIndex(action.page);
            scope = m_form->findChild<QWidget*>(QLatin1String(action.frame));
            ASSERT_NE(scope, nullptr);
        }
        auto* button = scope->findChild<QPushButton*>(QLatin1String(action.button));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled());
        m_boxes.clear();
        button->click();
        ASSERT_EQ(m_boxes.size(), 1);
        EXPECT_EQ(m_boxes.front().text, Text(TextId::kRefusedWhileListening));
    }
    // The listener went on meanwhile; not a byte went out.
    EXPECT_TRUE(m_form->IsPolling());
    EXPECT_EQ(BytesWrittenToTheLine(), 0);
}

TEST_F(ListenTest, AnAdapterPulledWhileListeningShowsAsItDoesWhilePolling)
{
    OpenListening();
    ASSERT_TRUE(WaitFor([this] { return Lamp() == QColor(0, 128, 0); }));
    m_sim->stop();
    ASSERT_TRUE(WaitFor([this] { return !m_form->IsPolling(); }));
    EXPECT_EQ(Lamp(), QColor(255, 0, 0));
    EXPECT_TRUE(m_form->StatusPanelText(4).startsWith(Text(TextId::kPortWentAway).section(u'%', 0, 0)))
        << m_form->StatusPanelText(4).toStdString();
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), Text(TextId::kOpenPort));
    EXPECT_FALSE(Find<QLabel>("StatusBar1Listening")->isVisible());
}

} // namespace
