// The window listening to a bus that bms-sim polls as its master: page 0
// shows the pack chosen as it is heard, every action that would send is
// refused, and not a byte reaches the line.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "services/password_store.h"
#include "services/text_ids.h"
#include "services/textoper.h"
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

class ListenTest : public MainWindowTest {
protected:
    // bms-sim polls its four packs every 150 ms; the window, pack 2 chosen,
    // opens COM1 to listen only.
    void OpenListening()
    {
        m_statsPath = m_programFolder.filePath(QStringLiteral("sim-stats.json"));
        StartWindow({"--master", "150", "--timeout", "200", "--stats", m_statsPath},
                    QStringLiteral("PackCount=4\nPackRead=2\n"));
        Find<QCheckBox>("CheckBoxListen")->setChecked(true);
        ClickPortButton();
        ASSERT_TRUE(m_form->IsPolling());
    }

    // Stops the simulator (the adapter goes): what the window wrote to the line.
    qint64 BytesWrittenToTheLine()
    {
        m_sim->stop();
        QFile file(m_statsPath);
        return file.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("listener_bytes")).toInteger(-1)
            : -1;
    }

    QString m_statsPath;
};

TEST_F(ListenTest, PageZeroShowsWhatIsHeardOfTheChosenPackUntilTheAdapterGoes)
{
    OpenListening();
    const TDevInfo& store = *GlobalDevInfo();
    const auto* info = Find<QWidget>("FramePackInfo1")->findChild<QTableView*>(QStringLiteral("StringGrid1"))->model();
    const auto voltageShown = [info] { return info->index(0, 1).data().toString(); };
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
        return voltageShown() == store.GetAnalogData(2).totalVoltage.format(u"0.000");
    }));
    EXPECT_EQ(addressesShown, QSet<QString>{QStringLiteral("1")});
    EXPECT_TRUE(WaitFor([this] { return Lamp() == QColor(0, 128, 0); }));

    // Choosing another pack only changes what is shown.
    auto* packs = Find<TComboBoxExt>("ComboBoxExt2");
    QTest::keyClick(packs, Qt::Key_Down);
    ASSERT_EQ(packs->currentText(), QStringLiteral("03"));
    EXPECT_EQ(Find<QLabel>("Label6")->text(), QStringLiteral("2"));
    EXPECT_TRUE(WaitFor([&] { return voltageShown() == store.GetAnalogData(3).totalVoltage.format(u"0.000"); }));

    EXPECT_TRUE(m_boxes.isEmpty());

    // The adapter pulled: as while polling, red lamp, the message, "Open Port".
    EXPECT_EQ(BytesWrittenToTheLine(), 0);
    ASSERT_TRUE(WaitFor([this] { return !m_form->IsPolling(); }));
    EXPECT_EQ(Lamp(), QColor(255, 0, 0));
    EXPECT_TRUE(m_form->StatusPanelText(4).startsWith(Text(TextId::kPortWentAway).section(u'%', 0, 0)));
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), Text(TextId::kOpenPort));
    EXPECT_FALSE(Find<QLabel>("StatusBar1Listening")->isVisible());
    EXPECT_TRUE(Find<QCheckBox>("CheckBoxListen")->isEnabled());
}

TEST_F(ListenTest, EveryActionThatWouldSendIsRefusedAndNothingReachesTheLine)
{
    OpenListening();
    // With the password the sync control is open too.
    Find<QLineEdit>("Edit1")->setText(QString::fromLatin1(kDefaultPassword));
    const struct {
        int page;            // -1: a control of page 0
        const char* frame;   // the page's frame
        const char* button;
    } actions[] = {
        {4, "FramePackParameter1", "BtnReadParameter"},   {5, "FramePackConfig1", "BtnReadDateTime"},
        {5, "FramePackConfig1", "BtnReadCapacity"},       {5, "FramePackConfig1", "BtnSyncAllClocks"},
        {6, "FramePackWorkDataInfo1", "BtnRead"},         {7, "FramePackAlarmDataInfo1", "BtnRead"},
        {-1, nullptr, "BtnScan"},                         {-1, nullptr, "BtnReport"},
    };
    for (const auto& action : actions) {
        SCOPED_TRACE(action.button);
        if (action.page >= 0)
            Find<QTabWidget>("PageControl1")->setCurrentIndex(action.page);
        QWidget* scope = action.frame ? m_form->findChild<QWidget*>(QLatin1String(action.frame)) : m_form.get();
        auto* button = scope->findChild<QPushButton*>(QLatin1String(action.button));
        ASSERT_TRUE(button && button->isEnabled());
        m_boxes.clear();
        button->click();
        ASSERT_EQ(m_boxes.size(), 1);
        EXPECT_EQ(m_boxes.front().text, Text(TextId::kRefusedWhileListening));
    }
    EXPECT_TRUE(m_form->IsPolling());
    EXPECT_EQ(BytesWrittenToTheLine(), 0);
}

} // namespace
