// The alarm panel and the value-carrying selection box as real widgets.
//
// Where each status bit shows is written out below by hand, independently
// of the tables the program walks, so an offset wrong the same way in both
// of those tables is still caught.

#include "protocol/decoders.h"
#include "protocol/devoper.h"
#include "protocol/frame.h"
#include "services/textoper.h"
#include "views/comboboxext.h"
#include "views/framepackalarm.h"
#include "views/message_boxes.h"
#include "services/settings.h"
#include "store/sim_store.h"
#include "support/page_idle.h"
#include "lib/sim_bus.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kTeal(0, 128, 128);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

enum class Style { Teal, Red, Plain };

struct Place {
    int byte;
    int bit;
    int checkBox;
    std::uint16_t textId;
    const char* caption;
    Style style;
};

const Place kPlaces[] = {
    {1, 0, 12, 0x5017, "单节过压报警", Style::Teal},
    {1, 1, 11, 0x5016, "单节欠压报警", Style::Teal},
    {1, 2, 10, 0x5012, "总压过压报警", Style::Teal},
    {1, 3, 9, 0x5011, "总压欠压报警", Style::Teal},
    {1, 4, 13, 0x501A, "充电过流报警", Style::Teal},
    {1, 5, 14, 0x501F, "放电过流报警-1", Style::Teal},
    {1, 6, 71, 0x50E6, "压差报警", Style::Teal},
    {1, 7, 72, 0x50E7, "压差保护", Style::Red},
    {2, 0, 24, 0x5037, "单节过压保护", Style::Red},
    {2, 1, 23, 0x5036, "单节欠压保护", Style::Red},
    {2, 2, 22, 0x5032, "总压过压保护", Style::Red},
    {2, 3, 21, 0x5031, "总压欠压保护", Style::Red},
    {2, 4, 33, 0x5033, "充电过流保护", Style::Red},
    {2, 5, 30, 0x5040, "放电过流保护-1", Style::Red},
    {2, 6, 45, 0x5041, "放电过流保护-2", Style::Red},
    {2, 7, 35, 0x5034, "短路保护", Style::Red},
    {3, 0, 47, 0x501C, "充电高温告警", Style::Teal},
    {3, 1, 46, 0x501B, "充电低温告警", Style::Teal},
    {3, 2, 49, 0x5021, "放电高温告警", Style::Teal},
    {3, 3, 48, 0x5020, "放电低温告警", Style::Teal},
    {3, 4, 20, 0x5019, "环境高温报警", Style::Teal},
    {3, 5, 19, 0x5018, "环境低温报警", Style::Teal},
    {3, 6, 15, 0x501E, "MOSFET高温告警", Style::Teal},
    {3, 7, 50, 0x501D, "MOSFET低温告警", Style::Teal},
    {4, 0, 26, 0x503B, "充电高温保护", Style::Red},
    {4, 1, 25, 0x503A, "充电低温保护", Style::Red},
    {4, 2, 28, 0x503F, "放电高温保护", Style::Red},
    {4, 3, 27, 0x503E, "放电低温保护", Style::Red},
    {4, 4, 32, 0x5039, "环境高温保护", Style::Red},
    {4, 5, 31, 0x5038, "环境低温保护", Style::Red},
    {4, 6, 34, 0x503D, "MOSFET高温保护", Style::Red},
    {4, 7, 51, 0x503C, "MOSFET低温保护", Style::Red},
    {5, 0, 36, 0x5035, "充电反接保护", Style::Teal},
    {5, 1, 16, 0x5015, "SOC低报警", Style::Teal},
    {5, 2, 52, 0x5022, "CFET 错误告警", Style::Teal},
    {5, 3, 53, 0x5023, "DFET 错误告警", Style::Teal},
    {5, 4, 18, 0x5014, "电芯温度高告警", Style::Teal},
    {5, 5, 17, 0x5013, "电芯温度低告警", Style::Teal},
    {5, 6, 3, 0x5004, "充电", Style::Plain},
    {5, 7, 4, 0x5005, "放电", Style::Plain},
    {6, 0, 2, 0x5002, "DFET开", Style::Plain},
    {6, 1, 1, 0x5001, "CFET开", Style::Plain},
    {6, 2, 54, 0x5006, "预充", Style::Plain},
    {6, 3, 7, 0x500A, "交流接入", Style::Plain},
    {6, 4, 8, 0x5003, "满充", Style::Plain},
    {6, 5, 55, 0x5051, "启用充电限流", Style::Plain},
    {6, 6, 63, 0x500B, "限流开启", Style::Plain},
    {6, 7, 64, 0x500C, "自损耗", Style::Plain},
    {7, 0, 56, 0x5053, "启用加热", Style::Plain},
    {7, 1, 6, 0x5007, "加热", Style::Plain},
    {7, 2, 57, 0x5054, "启用散热", Style::Plain},
    {7, 3, 58, 0x5008, "散热", Style::Plain},
    {7, 4, 59, 0x5055, "启用蜂鸣器", Style::Plain},
    {7, 5, 60, 0x5009, "蜂鸣器", Style::Plain},
    {7, 6, 61, 0x5052, "启用LED", Style::Plain},
    {7, 7, 62, 0x5056, "启用GPRS", Style::Plain},
    {14, 0, 65, 0x50E0, "DFET错误", Style::Red},
    {14, 1, 66, 0x50E1, "CFET错误", Style::Red},
    {14, 2, 67, 0x50E2, "前端芯片错误", Style::Red},
    {14, 3, 68, 0x50E3, "时钟芯片错误", Style::Red},
    {14, 4, 69, 0x50E4, "数据存储错误", Style::Red},
    {14, 5, 70, 0x50E5, "参数存储错误", Style::Red},
    {14, 6, 43, 0x5042, "高压保护", Style::Red},
    {14, 7, 75, 0x50E8, "PDFET错误", Style::Red},
    {15, 0, 76, 0x5043, "正极绝缘保护", Style::Red},
    {15, 1, 77, 0x5044, "负极绝缘保护", Style::Red},
    {15, 2, 74, 0x5045, "电芯故障", Style::Red},
    {15, 3, 73, 0x5046, "温度故障", Style::Red},
    {15, 4, 78, 0x5047, "振动传感器故障", Style::Red},
};

QCheckBox* Box(const QWidget& frame, int number)
{
    return frame.findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(number));
}

QColor TextColour(const QWidget* widget)
{
    return widget->palette().color(QPalette::Disabled, QPalette::WindowText);
}

// The ticked indicators; the control-test boxes (which follow the switch
// states too) are the control test's own.
std::vector<int> CheckedBoxes(const QWidget& frame)
{
    const auto controlTest = frame.findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    std::vector<int> checked;
    for (int number = 1; number <= 78; ++number)
        if (Box(frame, number)->isChecked() && !controlTest->isAncestorOf(Box(frame, number)))
            checked.push_back(number);
    return checked;
}

RAlarmData WithStatus(int byte, std::uint8_t value)
{
    RAlarmData record;
    record.status[std::size_t(byte - 1)] = value;
    return record;
}

// An alarm answer of pack 1 without cell or temperature states whose only
// set bit is the given one, decoded as the polling cycle decodes it.
RAlarmData AnswerWithBit(TDevOper& op, int byte, int bit)
{
    QByteArray info = QByteArray::fromHex("01 00 00 00 00 0000 00");
    QByteArray status(kStatusBytes, '\0');
    status[byte - 1] = static_cast<char>(1 << bit);
    op.SetAnswerText(frame::BuildFrame(1, 0, info + status));
    EXPECT_EQ(op.CheckAnswer(1), 0);
    op.DecodeAnswer();
    RAlarmData record;
    EXPECT_TRUE(DecodeAlarmData(op.Answer(), 1, record));
    return record;
}

} // namespace

TEST(FramePackAlarm, EveryIndicatorAndGroupCarriesItsName)
{
    TFramePackAlarm frame;
    for (int number = 1; number <= 78; ++number)
        EXPECT_NE(Box(frame, number), nullptr) << "CheckBox" << number;
    for (int group = 1; group <= 6; ++group)
        EXPECT_NE(frame.findChild<QGroupBox*>(QStringLiteral("GroupBox%1").arg(group)), nullptr) << group;
    EXPECT_EQ(Box(frame, 35)->parentWidget(), frame.findChild<QLabel*>(QStringLiteral("Label2"))->parentWidget())
        << "the counter sits beside the short-circuit box";
    EXPECT_EQ(Box(frame, 35)->text(), "短路保护");
    EXPECT_FALSE(frame.findChild<QGroupBox*>(QStringLiteral("GroupBox3"))->isEnabled());
    EXPECT_FALSE(Box(frame, 62)->isVisibleTo(&frame));
}

TEST(FramePackAlarm, WorkedExampleTicksAlarmsInTealAndStatesPlainly)
{
    TFramePackAlarm frame;
    RAlarmData record;
    record.status[0] = 0x41;
    record.status[4] = 0x20;
    record.status[5] = 0x03;
    const QColor stateColourBefore = TextColour(Box(frame, 1));
    frame.ShowAlarmData(record);

    EXPECT_EQ(CheckedBoxes(frame), (std::vector<int>{1, 2, 12, 17, 71}));
    EXPECT_EQ(TextColour(Box(frame, 12)), kTeal) << "cell over-voltage alarm";
    EXPECT_EQ(TextColour(Box(frame, 71)), kTeal) << "voltage difference alarm";
    EXPECT_EQ(TextColour(Box(frame, 17)), kTeal) << "cell low temperature alarm";
    EXPECT_EQ(TextColour(Box(frame, 72)), kBlack);
    EXPECT_EQ(TextColour(Box(frame, 1)), stateColourBefore) << "FET states keep their font";

    // The next record clears what is no longer set, colours included.
    frame.ShowAlarmData(RAlarmData{});
    EXPECT_TRUE(CheckedBoxes(frame).empty());
    EXPECT_EQ(TextColour(Box(frame, 12)), kBlack);
}

TEST(FramePackAlarm, EachKindOfBitShowsInItsOwnStyle)
{
    TFramePackAlarm frame;
    frame.ShowAlarmData(WithStatus(1, 0x80));
    EXPECT_EQ(CheckedBoxes(frame), std::vector<int>{72});
    EXPECT_EQ(TextColour(Box(frame, 72)), kRed);

    frame.ShowAlarmData(WithStatus(5, 0xC0));
    EXPECT_EQ(CheckedBoxes(frame), (std::vector<int>{3, 4}));

    frame.ShowAlarmData(WithStatus(5, 0x01));
    EXPECT_EQ(CheckedBoxes(frame), std::vector<int>{36});
    EXPECT_EQ(TextColour(Box(frame, 36)), kTeal) << "reverse connection is reported as an alarm";

    frame.ShowAlarmData(WithStatus(14, 0x81));
    EXPECT_EQ(CheckedBoxes(frame), (std::vector<int>{65, 75}));
    EXPECT_EQ(TextColour(Box(frame, 65)), kRed);

    frame.ShowAlarmData(WithStatus(15, 0xE0));
    EXPECT_TRUE(CheckedBoxes(frame).empty()) << "bits 5 to 7 of byte 15 are not shown";

    RAlarmData unshown;
    for (const int byte : {8, 9, 10, 11, 12, 13, 16})
        unshown.status[std::size_t(byte - 1)] = 0xFF;
    frame.ShowAlarmData(unshown);
    EXPECT_TRUE(CheckedBoxes(frame).empty());
}

TEST(FramePackAlarm, ShortCircuitCounterShowsCountAndAlarmColour)
{
    TFramePackAlarm frame;
    auto* counter = frame.findChild<QLabel*>(QStringLiteral("Label2"));
    ASSERT_NE(counter, nullptr);
    EXPECT_FALSE(counter->isVisibleTo(&frame));

    RAlarmData record;
    record.shortCircuit = 0x8003;
    frame.ShowAlarmData(record);
    EXPECT_TRUE(counter->isVisibleTo(&frame));
    EXPECT_EQ(counter->text(), "3");
    EXPECT_EQ(TextColour(counter), kRed);

    record.shortCircuit = 0x0003;
    frame.ShowAlarmData(record);
    EXPECT_EQ(counter->text(), "3");
    EXPECT_EQ(TextColour(counter), kBlack);

    record.shortCircuit = 0;
    frame.ShowAlarmData(record);
    EXPECT_FALSE(counter->isVisibleTo(&frame));
}

TEST(FramePackAlarm, LanguageSwitchRecaptionsGroupsAndBoxes)
{
    TFramePackAlarm frame;
    auto* protection = frame.findChild<QGroupBox*>(QStringLiteral("GroupBox4"));
    frame.ApplyLanguage();
    EXPECT_EQ(protection->title(), "保护状态");
    EXPECT_EQ(Box(frame, 35)->text(), "短路保护");
    EXPECT_EQ(Box(frame, 5)->text(), "启用CFET");

    TTextOper().SetLanguage(TTextOper::English);
    frame.ApplyLanguage();
    TTextOper().SetLanguage(TTextOper::SimplifiedChinese);
    EXPECT_NE(protection->title(), "保护状态");
    EXPECT_FALSE(protection->title().isEmpty());
    EXPECT_NE(Box(frame, 35)->text(), "短路保护");
    EXPECT_FALSE(Box(frame, 35)->text().isEmpty());
    EXPECT_NE(Box(frame, 5)->text(), "启用CFET");
}

TEST(FramePackAlarm, ControlTestGroupShowsOnlyWhenOffered)
{
    TFramePackAlarm frame;
    auto* controlTest = frame.findChild<QGroupBox*>(QStringLiteral("GroupBox1"));
    EXPECT_FALSE(controlTest->isVisibleTo(&frame));
    frame.SetControlTestVisible(true);
    EXPECT_TRUE(controlTest->isVisibleTo(&frame));
    EXPECT_TRUE(controlTest->isEnabled());
    frame.SetControlTestVisible(false);
    EXPECT_FALSE(controlTest->isVisibleTo(&frame));
}

// The control test against the in-process packs, pack 1 in focus, with
// DFET, CFET and LED on and every other function off.
class ControlTestGroupTest : public ::testing::Test {
protected:
    static constexpr std::uint16_t kPackWord = 0x0070;
    static constexpr std::uint8_t kSwitchCid2 = 0xE2;

    void SetUp() override
    {
        ASSERT_TRUE(m_sim.opened);
        AppGlobals& globals = Globals();
        globals.PortNumber = 1;
        globals.SelectedPack = 1;
        globals.SelectedAddress = 1;
        m_previous = MessageBoxes::SetHandler([this](QWidget*, const MessageBoxes::Request& request) {
            m_boxes.append(request);
            return m_answer;
        });
        std::uint16_t inForce = 0;
        ASSERT_EQ(m_sim.store->WriteFunctionSwitches(1, 1, kPackWord, inForce), 0);
        m_frame.SetStore(m_sim.store.get());
        m_frame.SetControlTestVisible(true);
        m_frame.show();
    }
    void TearDown() override { MessageBoxes::SetHandler(m_previous); }

    // What the polling thread hands the panel.
    void ShowPackRecord()
    {
        ASSERT_EQ(m_sim.store->ReadAlarmData(1, 1), 0);
        m_frame.ShowAlarmData(m_sim.store->GetAlarmData(1));
    }
    // The words the pack was sent since the records were cleared.
    static QList<std::uint16_t> SentWords()
    {
        QList<std::uint16_t> words;
        for (const SimRequest& request : SharedSimBus()->requests())
            if (request.cid2 == kSwitchCid2 && request.info.size() == 3)
                words.append(std::uint16_t((std::uint8_t(request.info[1]) << 8) | std::uint8_t(request.info[2])));
        return words;
    }

    SimulatedStore m_sim;
    TFramePackAlarm m_frame;
    QList<MessageBoxes::Request> m_boxes;
    MessageBoxes::Answer m_answer = MessageBoxes::Answer::Ok;
    MessageBoxes::Handler m_previous;
};

TEST_F(ControlTestGroupTest, BoxesWaitForThePacksRecordAndShowItsStates)
{
    EXPECT_FALSE(Box(m_frame, 5)->isEnabled()) << "nothing known of the pack yet";
    ShowPackRecord();
    for (const int box : {5, 29, 37, 38, 39, 40, 41, 42, 44})
        EXPECT_TRUE(Box(m_frame, box)->isEnabled()) << box;
    EXPECT_EQ(m_frame.FunctionSwitchWord(), kPackWord);
}

TEST_F(ControlTestGroupTest, AClickChangesOnlyItsFunctionAndAFetIsAskedFirst)
{
    struct Case {
        const char* what;
        int box;
        MessageBoxes::Answer answer;
        const char* fault;            // a pack that refuses the write
        bool asked;
        std::optional<std::uint16_t> sent;
        std::uint16_t shownAfter;     // the boxes' word once it has ended
    } cases[] = {
        {"heating on keeps both FETs and the LED", 37, MessageBoxes::Answer::Ok, nullptr, false, 0x0071, 0x0071},
        {"DFET off, confirmed", 29, MessageBoxes::Answer::Ok, nullptr, true, 0x0050, 0x0050},
        {"DFET off, refused by the user", 29, MessageBoxes::Answer::Cancel, nullptr, true, std::nullopt, kPackWord},
        {"CFET off, refused by the user", 5, MessageBoxes::Answer::Cancel, nullptr, true, std::nullopt, kPackWord},
        {"buzzer on, refused by the pack", 40, MessageBoxes::Answer::Ok, "rtn:E2:04", false, 0x0078, kPackWord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint16_t inForce = 0;
        ASSERT_EQ(m_sim.store->WriteFunctionSwitches(1, 1, kPackWord, inForce), 0);
        ShowPackRecord();
        SharedSimBus()->clearFaults();
        if (c.fault)
            SimulatedStore::AddFault(QLatin1String(c.fault));
        SharedSimBus()->clearRequests();
        m_boxes.clear();
        m_answer = c.answer;

        QTest::mouseClick(Box(m_frame, c.box), Qt::LeftButton, {}, QPoint(5, Box(m_frame, c.box)->height() / 2));
        ASSERT_TRUE(WaitUntilIdle(m_frame));

        const bool asked = !m_boxes.isEmpty() && m_boxes.front().buttons == MessageBoxes::Buttons::OkCancel;
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(SentWords(), c.sent ? QList<std::uint16_t>{*c.sent} : QList<std::uint16_t>{});
        EXPECT_EQ(m_frame.FunctionSwitchWord(), c.shownAfter);
        EXPECT_TRUE(Box(m_frame, c.box)->isEnabled());
    }
    SharedSimBus()->clearFaults();
}

TEST(StatusBitPlaces, EachBitAloneLightsExactlyItsIndicatorInItsStyle)
{
    ASSERT_EQ(std::size(kPlaces), 69u);
    TFramePackAlarm frame;
    frame.ApplyLanguage();
    const QColor plainColour = TextColour(Box(frame, 1));
    TDevOper op;
    for (const Place& place : kPlaces) {
        SCOPED_TRACE(testing::Message() << "status byte " << place.byte << " bit " << place.bit);
        frame.ShowAlarmData(AnswerWithBit(op, place.byte, place.bit));
        EXPECT_EQ(CheckedBoxes(frame), std::vector<int>{place.checkBox});
        const QCheckBox* box = Box(frame, place.checkBox);
        EXPECT_EQ(box->text(), QString::fromUtf8(place.caption));
        const QColor expected = place.style == Style::Teal ? kTeal : place.style == Style::Red ? kRed : plainColour;
        EXPECT_EQ(TextColour(box), expected);
    }
}

TEST(StatusBitPlaces, EachIndicatorTakesItsCaptionFromItsOwnTextId)
{
    // English captions differ from one text id to the next, so a box that
    // fetched another id's text shows up here.
    TTextOper texts;
    texts.SetLanguage(TTextOper::English);
    TFramePackAlarm frame;
    frame.ApplyLanguage();
    for (const Place& place : kPlaces)
        EXPECT_EQ(Box(frame, place.checkBox)->text(), texts.GetLanguageText(place.textId))
            << "CheckBox" << place.checkBox;
    texts.SetLanguage(TTextOper::SimplifiedChinese);
}

TEST(ComboBoxExt, SelectsAndReadsItemsByTheirHiddenValues)
{
    TComboBoxExt combo;
    IComboList& list = combo;
    EXPECT_EQ(list.selectedValue(), "") << "nothing selected";
    list.addItem("01", "1");
    list.addItem("02", "2");
    list.addItem("Auto", "255");
    EXPECT_EQ(list.itemCount(), 3);
    EXPECT_EQ(combo.currentText(), "01");

    EXPECT_TRUE(list.selectValue("255"));
    EXPECT_EQ(combo.currentText(), "Auto");
    EXPECT_EQ(list.selectedValue(), "255");

    EXPECT_FALSE(list.selectValue("7"));
    EXPECT_EQ(list.selectedValue(), "255") << "an unknown value keeps the selection";

    list.selectIndex(-1);
    EXPECT_EQ(list.selectedValue(), "");
    list.selectIndex(9);
    EXPECT_EQ(list.selectedValue(), "");
    list.selectIndex(1);
    EXPECT_EQ(list.selectedValue(), "2");

    list.clearItems();
    EXPECT_EQ(list.itemCount(), 0);
    EXPECT_EQ(list.selectedValue(), "");
}
