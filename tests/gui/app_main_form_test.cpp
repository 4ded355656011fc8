// The main window's own controls, without a pack talking: the pack
// selector, the pack-count field, the password field, the language buttons
// and the port button on a port that does not open.

#include "app_window_fixture.h"

#include "services/settings.h"
#include "views/comboboxext.h"
#include "views/framepackhead.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>

namespace {

void ChooseItem(TComboBoxExt* combo, const QString& text)
{
    const int target = combo->findText(text);
    ASSERT_GE(target, 0) << text.toStdString();
    // Arrow keys move the selection one item at a time, as a user does.
    while (combo->currentIndex() < target)
        QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > target)
        QTest::keyClick(combo, Qt::Key_Up);
}

QStringList ItemTexts(const TComboBoxExt* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

} // namespace

TEST_F(MainWindowTest, StartsWithEightPagesRedLampAndTheStoredPackSelected)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=3\n"), false);
    auto* pages = Find<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->count(), TMainForm::kPageCount);
    for (int i = 0; i < pages->count(); ++i)
        EXPECT_EQ(pages->widget(i)->objectName(), QStringLiteral("TabSheet%1").arg(i + 1));
    EXPECT_EQ(pages->tabText(0), QStringLiteral("实时监控"));
    EXPECT_EQ(pages->tabText(3), QStringLiteral("通讯信息"));
    EXPECT_EQ(m_form->windowTitle(), QStringLiteral("KESTAV  ( V6.3 )"));
    // A display name of its own would be appended to every caption by the
    // window system integration ("KESTAV  ( V6.3 ) — BMS Host").
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    EXPECT_EQ(Find<QTabWidget>("PageControl2")->count(), 16);
    EXPECT_EQ(Find<QTabWidget>("PageControl2")->tabText(8), QStringLiteral("PackNo.09"));

    EXPECT_EQ(Lamp(), QColor(255, 0, 0));
    for (int panel = 0; panel < TMainForm::kStatusPanels; ++panel)
        EXPECT_TRUE(m_form->StatusPanelText(panel).isEmpty()) << panel;

    auto* ports = Find<TComboBoxExt>("ComboBoxExt1");
    ASSERT_EQ(ports->count(), 16);
    EXPECT_EQ(ports->itemText(15), QStringLiteral("COM16"));
    EXPECT_TRUE(ports->itemData(1, Qt::ToolTipRole).toString().endsWith(QStringLiteral("no-such-device")));

    EXPECT_EQ(ItemTexts(Find<TComboBoxExt>("ComboBoxExt2")),
              (QStringList{"01", "02", "03", "04", "Auto"}));
    EXPECT_EQ(Find<TComboBoxExt>("ComboBoxExt2")->currentText(), QStringLiteral("03"));
    EXPECT_EQ(Globals().SelectedPack.load(), 3);
    EXPECT_EQ(Find<QLabel>("Label6")->text(), QStringLiteral("2"));
    EXPECT_EQ(Find<TFramePackHead>("FramePackHead1")->label()->text(), QStringLiteral("Pack No. 03"));
    EXPECT_EQ(Find<QLineEdit>("Edit2")->text(), QStringLiteral("4"));
    EXPECT_EQ(Find<QLineEdit>("Edit2")->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

TEST_F(MainWindowTest, ChoosingAutoHidesTheCommandPagesAndAPackShowsThemAgain)
{
    StartWindow({}, QStringLiteral("PackCount=3\n"), false);
    auto* pages = Find<QTabWidget>("PageControl1");
    auto* packs = Find<TComboBoxExt>("ComboBoxExt2");
    // The clock error of the pack in focus before.
    m_form->ShowPackTime(RDeviceTime{}, 0xAF);
    ASSERT_FALSE(m_form->StatusPanelText(4).isEmpty());

    ChooseItem(packs, QStringLiteral("Auto"));
    EXPECT_TRUE(m_form->StatusPanelText(4).isEmpty());
    EXPECT_EQ(Globals().SelectedPack.load(), 0);
    EXPECT_TRUE(Globals().AutoPolling.load());
    EXPECT_EQ(Setting("PackRead"), QStringLiteral("255"));
    // 255 is beyond the pack count: no address until a pack is polled.
    EXPECT_TRUE(Find<QLabel>("Label6")->text().isEmpty());
    for (int i = 0; i < TMainForm::kPageCount; ++i)
        EXPECT_EQ(pages->isTabVisible(i), i < TMainForm::kFirstCommandPage) << i;

    ChooseItem(packs, QStringLiteral("02"));
    EXPECT_FALSE(Globals().AutoPolling.load());
    EXPECT_EQ(Globals().SelectedAddress.load(), 2);
    EXPECT_EQ(Find<QLabel>("Label6")->text(), QStringLiteral("1"));
    for (int i = 0; i < TMainForm::kPageCount; ++i)
        EXPECT_TRUE(pages->isTabVisible(i)) << i;
    EXPECT_EQ(Setting("PackRead"), QStringLiteral("2"));
}

TEST_F(MainWindowTest, PackCountFieldTakesDigitsOnlyAndStopsAtSixteen)
{
    StartWindow({}, QStringLiteral("PackCount=4\n"), false);
    auto* edit = Find<QLineEdit>("Edit2");
    auto* packs = Find<TComboBoxExt>("ComboBoxExt2");
    const std::uint8_t selectedBefore = Globals().SelectedPack;

    QTest::keyClicks(edit, QStringLiteral("x-"));
    EXPECT_EQ(edit->text(), QStringLiteral("4"));

    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("25"));
    EXPECT_EQ(edit->text(), QStringLiteral("16"));
    EXPECT_EQ(Globals().PackCount.load(), 16);
    EXPECT_EQ(Setting("PackCount"), QStringLiteral("16"));
    EXPECT_EQ(packs->count(), 17);
    // A refill is no choice: the pack in focus stays until the user picks.
    EXPECT_EQ(Globals().SelectedPack.load(), selectedBefore);

    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_EQ(Globals().PackCount.load(), 1);
    EXPECT_EQ(Setting("PackCount"), QStringLiteral("1"));
    // "Auto" is offered from two packs on.
    EXPECT_EQ(ItemTexts(packs), QStringList{QStringLiteral("01")});
}

TEST_F(MainWindowTest, TypingThePasswordTurnsTheFieldGreenAndOffersTheControlTest)
{
    StartWindow({}, QStringLiteral("PackCount=1\n"), false);
    auto* edit = Find<QLineEdit>("Edit1");
    auto* controlTest = Find<QWidget>("FramePackAlarm1")->findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    ASSERT_NE(controlTest, nullptr);
    EXPECT_FALSE(controlTest->isVisible());

    QTest::keyClicks(edit, QStringLiteral("QN739204"));
    EXPECT_EQ(edit->displayText(), QStringLiteral("********"));
    EXPECT_TRUE(Globals().PasswordOk.load());
    EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(0, 128, 0));
    EXPECT_TRUE(controlTest->isVisible());

    // Without an alarm record of the pack there is nothing to switch from.
    auto* cfet = controlTest->findChild<QCheckBox*>(QStringLiteral("CheckBox5"));
    ASSERT_NE(cfet, nullptr);
    EXPECT_FALSE(cfet->isEnabled());

    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_FALSE(Globals().PasswordOk.load());
    EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_FALSE(controlTest->isVisible());
}

TEST_F(MainWindowTest, LanguageButtonsRecaptionTheWindowAndAreRemembered)
{
    StartWindow({}, QStringLiteral("PackCount=2\n"), false);
    auto* pages = Find<QTabWidget>("PageControl1");
    Find<QRadioButton>("RadioButton2")->click();
    EXPECT_EQ(Setting("TextKind"), QStringLiteral("1"));
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Live Monitor"));
    EXPECT_EQ(pages->tabText(7), QStringLiteral("Alarm Records"));
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), QStringLiteral("Open Port"));
    EXPECT_EQ(Find<QGroupBox>("GroupBox1")->title(), QStringLiteral("Serial Port"));
    EXPECT_EQ(Find<QAbstractButton>("CheckBox4")->text(), QStringLiteral("Auto Time Sync"));
    EXPECT_EQ(Find<QRadioButton>("RadioButton1")->text(), QStringLiteral("Chinese"));
    EXPECT_EQ(Find<QRadioButton>("RadioButton2")->text(), QStringLiteral("English"));

    Find<QRadioButton>("RadioButton1")->click();
    EXPECT_EQ(Setting("TextKind"), QStringLiteral("0"));
    EXPECT_EQ(pages->tabText(0), QStringLiteral("实时监控"));
    EXPECT_EQ(Find<QLabel>("Label17")->text(), QStringLiteral("请输入密码"));
    EXPECT_EQ(Find<QRadioButton>("RadioButton2")->text(), QStringLiteral("English"));
}

TEST_F(MainWindowTest, APortThatDoesNotOpenSaysWhyAndStaysClosed)
{
    StartWindow({}, QStringLiteral("PackCount=1\nPort=1\n"), false);
    ChooseItem(Find<TComboBoxExt>("ComboBoxExt1"), QStringLiteral("COM2"));
    ClickPortButton();
    EXPECT_FALSE(m_form->IsPolling());
    EXPECT_TRUE(Find<QWidget>("ComboBoxExt1")->isEnabled());
    EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), QStringLiteral("打开串口"));
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes.front().caption, QStringLiteral("Information prompt"));
    EXPECT_FALSE(m_boxes.front().text.isEmpty());
    // Only a port that opened is remembered.
    EXPECT_EQ(Setting("Port"), QStringLiteral("1"));
}

TEST_F(MainWindowTest, AnRs485ModeThatIsRefusedOrUnknownKeepsThePortClosedAndSaysWhy)
{
    m_morePorts = QStringLiteral("COM1.RS485=rts-on-send\nCOM2.RS485=sideways\n");
    StartWindow({}, QStringLiteral("PackCount=1\nPort=3\n"));
    const struct {
        const char* port;
        const char* says;
    } cases[] = {
        {"COM1", "refused RS485 mode rts-on-send"},
        {"COM2", "[Ports] COM2.RS485=sideways in "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        m_boxes.clear();
        ChooseItem(Find<TComboBoxExt>("ComboBoxExt1"), QLatin1String(c.port));
        ClickPortButton();
        EXPECT_FALSE(m_form->IsPolling());
        EXPECT_EQ(Find<QAbstractButton>("BtnCom")->text(), QStringLiteral("打开串口"));
        ASSERT_EQ(m_boxes.size(), 1);
        EXPECT_TRUE(m_boxes.front().text.contains(QLatin1String(c.says))) << m_boxes.front().text.toStdString();
    }
    EXPECT_EQ(Setting("Port"), QStringLiteral("3"));
}

TEST_F(MainWindowTest, RefusingTheCloseQuestionKeepsTheWindow)
{
    StartWindow({}, QStringLiteral("PackCount=1\n"), false);
    m_answer = MessageBoxes::Answer::Cancel;
    EXPECT_FALSE(m_form->close());
    EXPECT_TRUE(m_form->isVisible());
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes.front().buttons, MessageBoxes::Buttons::OkCancel);
    EXPECT_EQ(m_boxes.front().text, QStringLiteral("你确定要退出程序吗?"));
}

// A log's save report stands beside the five status panels, which stay in
// view. The window refuses a size below what its layouts need (a window
// manager is told the same minimum), in either language, and at that
// minimum no two group boxes of any page overlap.
TEST_F(MainWindowTest, SaveReportsKeepThePanelsAndTheSmallestWindowKeepsItsGroupsApart)
{
    StartWindow({}, QStringLiteral("PackCount=1\n"), false);
    auto* frame = m_form->findChild<TFrameRealTimeData*>();
    ASSERT_NE(frame, nullptr);
    const QString report = QStringLiteral("Saved /tmp/Pack01.csv");
    emit frame->saveReported(report);
    for (const char* panel : {"StatusBar1Panel0", "StatusBar1Panel1", "StatusBar1Panel2", "StatusBar1Panel3",
                              "StatusBar1Panel4"})
        EXPECT_TRUE(Find<QLabel>(panel)->isVisible()) << panel;
    EXPECT_EQ(Find<QLabel>("StatusBar1Report")->text(), report);

    auto* pages = Find<QTabWidget>("PageControl1");
    for (QRadioButton* language : {Find<QRadioButton>("RadioButton1"), Find<QRadioButton>("RadioButton2")}) {
        language->click();
        m_form->resize(200, 150);
        QTest::qWait(20);
        EXPECT_GE(m_form->width(), 1000);
        EXPECT_GE(m_form->height(), 600);
        EXPECT_EQ(m_form->size(), m_form->minimumSize());
        for (int index = 0; index < pages->count(); ++index) {
            pages->setCurrentIndex(index);
            QTest::qWait(20);
            const QList<QGroupBox*> boxes = pages->widget(index)->findChildren<QGroupBox*>();
            for (const QGroupBox* a : boxes) {
                for (const QGroupBox* b : boxes) {
                    if (a >= b || !a->isVisible() || !b->isVisible() || a->isAncestorOf(b) || b->isAncestorOf(a))
                        continue;
                    const QRect first(a->mapTo(m_form.get(), QPoint()), a->size());
                    const QRect second(b->mapTo(m_form.get(), QPoint()), b->size());
                    EXPECT_FALSE(first.intersects(second)) << "page " << index << ": "
                                                           << a->objectName().toStdString() << " and "
                                                           << b->objectName().toStdString();
                }
            }
        }
    }
}
