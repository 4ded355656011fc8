// The window on other makers' packs: page 0 and the parallel monitor show
// what each family sends under its own names, and every command outside a
// family's reads is refused on the page before anything is asked or sent.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "lib/sim_link.h"
#include "services/password_store.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/family_view.h"
#include "views/framepackalarm.h"
#include "support/page_idle.h"
#include "views/compare_form.h"
#include "views/framepackconfig.h"
#include "views/modal_run.h"
#include "views/report_form.h"
#include "views/scan_form.h"
#include "views/framepackdatamonitor.h"
#include "views/framerealtimedata.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include <set>

namespace {

using Role = TemperatureRole;

struct Sensor {
    Role role;
    std::int64_t tenths;   // °C × 10
    std::uint8_t state;
};

// One family's pack 1 as its decoders file it: four cells, its own
// temperatures, SOC and SOH only where its layout sends them, and one status
// byte set.
struct FamilyReading {
    PackFamily family;
    std::vector<Sensor> sensors;
    std::optional<Decimal> soc;
    std::optional<Decimal> soh;
    std::uint8_t statusIndex;
    std::uint8_t statusValue;
};

std::pair<RAnalogData, RAlarmData> Records(const FamilyReading& reading)
{
    RAnalogData analog = InitAnalogData(1);
    analog.family = reading.family;
    analog.totalVoltage = Decimal::fromRaw(132060);   // 13.206 V
    analog.current = Decimal::fromRaw(-15000);        // discharging 1.5 A
    analog.remainingCapacity = Decimal::fromInt(50);
    analog.fullCapacity = Decimal::fromInt(100);
    analog.cycleCount = 7;
    analog.cellVoltages = {3300, 3301, 3302, 3303};
    analog.extra.cellCount = 4;
    analog.extra.soc = reading.soc;
    analog.extra.soh = reading.soh;
    RAlarmData alarm = InitAlarmData(1);
    alarm.family = reading.family;
    alarm.extra.dischargeCurrentState = 0x02;
    for (const Sensor& sensor : reading.sensors) {
        const std::size_t k = analog.extra.temperatureCount++;
        analog.extra.temperatureRoles[k] = sensor.role;
        analog.extra.temperatures[k] = Decimal::fromRaw(sensor.tenths * 1000);
        alarm.extra.temperatureStates[k] = sensor.state;
    }
    alarm.extra.temperatureCount = analog.extra.temperatureCount;
    alarm.extra.statusCount = std::uint8_t(FamilyStatusNames(reading.family).size());
    if (IsForeign(reading.family))
        alarm.extra.status[reading.statusIndex] = reading.statusValue;
    return {analog, alarm};
}

QString Cell(const QTableView* grid, int row, int column)
{
    return grid->model()->index(row, column).data(Qt::DisplayRole).toString();
}

class FamilyWindowTest : public MainWindowTest {
protected:
    void ShowOnPageZero(const RAnalogData& analog, const RAlarmData& alarm)
    {
        TDevInfo& store = *GlobalDevInfo();
        store.DevOper().PinFamily(1, analog.family == PackFamily::Ours ? PackFamily::Unknown : analog.family);
        store.StoreAnalogData(analog);
        store.StoreAlarmData(alarm, true);
        m_form->RefreshHead();
        m_form->RefreshAnalog();
        m_form->RefreshAlarm();
        m_form->ShowMonitorColumn();
    }
    const QTableView* Grid(const char* frame) const
    {
        return m_form->findChild<QWidget*>(QLatin1String(frame))->findChild<QTableView*>(QStringLiteral("StringGrid1"));
    }
};

TEST_F(FamilyWindowTest, PageZeroShowsEachFamilysValuesUnderTheirOwnNames)
{
    StartWindow({}, QStringLiteral("PackCount=2\nPackRead=1\nDisplayRecord=1\n"), false);
    struct Case {
        FamilyReading reading;
        QStringList temperatures;   // name, whole degrees and mark, slot by slot
        QString soc, soh, family, statusLine;
    } cases[] = {
        {{PackFamily::A, {{Role::Board, 251, 0}, {Role::CellSensor, 241, 0}, {Role::CellSensor, 262, 2}}, {}, {}, 2, 0x04},
         {"板温", "25", "", "电芯温度1", "24", "", "电芯温度2", "26", "H"}, "", "", "A", "状态3: 0x04"},
        {{PackFamily::B,
          {{Role::CellSensor, 200, 0}, {Role::CellSensor, 210, 0}, {Role::CellSensor, 220, 0},
           {Role::CellSensor, 230, 1}, {Role::Ambient, 180, 0}, {Role::Mosfet, 305, 0xF0}},
          Decimal::fromRaw(875000), Decimal::fromRaw(992000), 0, 0x04},
         {"电芯温度1", "20", "", "电芯温度2", "21", "", "电芯温度3", "22", "", "电芯温度4", "23", "L", "环境温度", "18",
          "", "MOS温度", "31", "-"},
         "87.5", "99.2", "B", "告警事件1: 0x04"},
        {{PackFamily::D, {{Role::CellSensor, 230, 0}, {Role::CellSensor, 231, 0}, {Role::Mosfet, 350, 0},
                          {Role::Ambient, 210, 0}},
          {}, {}, 0, 0xA1},
         {"电芯温度1", "23", "", "电芯温度2", "23", "", "MOS温度", "35", "", "环境温度", "21", ""}, "", "", "D",
         "保护1: 0xA1"},
    };
    Find<QTabWidget>("PageControl1")->setCurrentIndex(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(FamilyName(c.reading.family).toStdString());
        const auto [analog, alarm] = Records(c.reading);
        ShowOnPageZero(analog, alarm);

        const QTableView* info = Grid("FramePackInfo1");
        EXPECT_EQ(Cell(info, 0, 1), QStringLiteral("13.206"));
        EXPECT_EQ(Cell(info, 1, 3), QStringLiteral("H"));   // its discharge current state
        EXPECT_EQ(Cell(info, 2, 1), c.soc);
        EXPECT_EQ(Cell(info, 3, 1), c.soh);
        EXPECT_EQ(Cell(info, 7, 0), QStringLiteral("协议族"));
        EXPECT_EQ(Cell(info, 7, 1), c.family);
        EXPECT_EQ(m_form->findChild<QLabel*>(QStringLiteral("LabelFamily"))->text(), QStringLiteral("协议族: ") + c.family);

        const QTableView* temperatures = Grid("FramePackTemperature1");
        QStringList shown;
        for (int slot = 0; slot < c.temperatures.size() / 3; ++slot)
            for (int place = 0; place < 3; ++place)
                shown << Cell(temperatures, slot / 2, (slot % 2) * 3 + place);
        EXPECT_EQ(shown, c.temperatures);

        // No balancing claimed, nothing after its four cells.
        EXPECT_EQ(Cell(Grid("FramePackCellVoltage1"), 1, 3), QString());
        EXPECT_EQ(Cell(Grid("FramePackCellVoltage1"), 5, 1), QString());

        // Its status byte by its own name; none of our boxes ticks.
        auto* panel = m_form->findChild<TFramePackAlarm*>(QStringLiteral("FramePackAlarm1"));
        EXPECT_TRUE(panel->findChild<QGroupBox*>(QStringLiteral("GroupBoxFamily"))->isVisible());
        EXPECT_EQ(panel->findChild<QLabel*>(QStringLiteral("LabelFamilyStatus"))->text(), c.statusLine);
        for (QCheckBox* box : panel->findChildren<QCheckBox*>())
            EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();

        // The real-time log names the same status byte in its alarm column.
        const RealtimeLogModel* log = m_form->RealTimeFrame(1)->model();
        EXPECT_EQ(log->index(log->readingCount() - 1, 15).data().toString(), c.statusLine);

        // The parallel monitor: its family beside its number, SOC as sent.
        const QTableView* monitor = Grid("FramePackDataMonitor1");
        EXPECT_EQ(monitor->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("PackNo.01 ") + c.family);
        EXPECT_EQ(Cell(monitor, 2, 3), c.soc);
        EXPECT_EQ(Cell(monitor, 7, 3), QString());   // no family sends humidity
    }

    // Our own pack afterwards shows as it always has.
    RAnalogData ours = Records({PackFamily::Ours, {}, {}, {}, 0, 0}).first;
    ours.soc = 87;
    ShowOnPageZero(ours, InitAlarmData(1));
    EXPECT_EQ(Cell(Grid("FramePackInfo1"), 2, 1), QStringLiteral("87"));
    EXPECT_EQ(Cell(Grid("FramePackInfo1"), 7, 0), QString());
    EXPECT_EQ(Grid("FramePackTemperature1")->model()->rowCount(), 3);
    EXPECT_FALSE(m_form->findChild<QLabel*>(QStringLiteral("LabelFamily"))->isVisible());
    EXPECT_FALSE(m_form->findChild<QGroupBox*>(QStringLiteral("GroupBoxFamily"))->isVisible());
    EXPECT_EQ(Grid("FramePackDataMonitor1")->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("PackNo.01"));
}

TEST(FamilyStatusTexts, EveryStatusByteOfEveryFamilyHasATextOfItsOwnInEachLanguage)
{
    for (const std::uint8_t language : {TTextOper::SimplifiedChinese, TTextOper::English, TTextOper::TraditionalChinese}) {
        TTextOper().SetLanguage(language);
        for (const PackFamily family : kForeignFamilies) {
            std::set<QString> texts;
            for (const std::string_view name : FamilyStatusNames(family)) {
                const QString text = FamilyStatusText(name, TTextOper());
                SCOPED_TRACE(std::string(name));
                EXPECT_NE(text, QString::fromUtf8(name.data(), qsizetype(name.size())));
                EXPECT_FALSE(text.contains(QLatin1Char('%')));
                texts.insert(text);
            }
            EXPECT_EQ(texts.size(), FamilyStatusNames(family).size()) << "two bytes of one family read alike";
        }
    }
    TTextOper().SetLanguage(TTextOper::SimplifiedChinese);
}

// The window polling the in-process bus, the password typed: our pack at
// address 1 and a pack of family D at address 2, in focus, which polling
// finds by reading.
class FamilyRefusalTest : public MainWindowTest {
protected:
    void StartOnForeignPack()
    {
        SimOptions options;
        options.packs = 1;
        options.families = {{2, SimFamily::D}};
        RegisterSimulatorLink(options);
        StartWindowOnInProcessPacks("TextKind=0\nPackCount=2\nPackRead=2\nPort=1\nDisplayRecord=1\n");
        if (HasFatalFailure())
            return;
        Find<QLineEdit>("Edit1")->setText(QString::fromLatin1(kDefaultPassword));
        ClickPortButton();
        ASSERT_TRUE(m_form->IsPolling());
        ASSERT_TRUE(WaitFor([this] { return m_form->RealTimeFrame(2)->model()->readingCount() > 0; }));
        ASSERT_EQ(GlobalDevInfo()->DevOper().FamilyState(2).family, PackFamily::D);
    }
    // What went to the foreign pack that is not one of its family's reads.
    static std::vector<std::uint8_t> SentBeyondReads()
    {
        std::vector<std::uint8_t> sent;
        for (const SimRequest& request : SharedSimBus()->requests())
            if (request.address == 2 && !FamilyReads(PackFamily::D, request.cid2))
                sent.push_back(request.cid2);
        return sent;
    }
    const QString m_refusal = QStringLiteral("电池包 2 属于协议族 D：只读取其实时数据");
};

TEST_F(FamilyRefusalTest, AForeignPackOnTheBusShowsItsFamilyOnPageZeroAndInTheScan)
{
    StartOnForeignPack();
    Find<QTabWidget>("PageControl1")->setCurrentIndex(0);
    const auto* info = m_form->findChild<QWidget*>(QStringLiteral("FramePackInfo1"))->findChild<QTableView*>();
    ASSERT_TRUE(WaitFor([&] { return Cell(info, 7, 1) == QStringLiteral("D"); }));
    EXPECT_EQ(Cell(info, 2, 1), QString());   // D sends no SOC
    // Its alarm states follow its live values.
    EXPECT_TRUE(WaitFor([this] { return m_form->findChild<QGroupBox*>(QStringLiteral("GroupBoxFamily"))->isVisible(); }));

    // The scan lists each address with its family.
    TScanForm scan(*GlobalDevInfo(), RScanRange{1, 3, 200}, m_form.get());
    scan.Start();
    ASSERT_TRUE(WaitFor([&] { return !scan.IsScanning(); }));
    auto* table = scan.findChild<QTableWidget*>(QStringLiteral("TableScan"));
    QStringList families;
    for (int row = 0; row < table->rowCount(); ++row)
        families << table->item(row, TScanForm::ColAddress)->text() + QLatin1Char(' ')
                        + table->item(row, TScanForm::ColFamily)->text();
    EXPECT_EQ(families, (QStringList{QStringLiteral("1 ours"), QStringLiteral("2 D")}));
}

// Opens a dialog of runs over several packs with opener, asks it for pack 2
// alone with its go button and lets it close.
template <typename Dialog>
void RunDialogOnPackTwo(QAbstractButton* opener, const char* goButton)
{
    const auto previous = TModalRun<Dialog>::SetHook([goButton](Dialog& dialog) {
        dialog.template findChild<QLineEdit*>(QStringLiteral("EditPacks"))->setText(QStringLiteral("2"));
        QTest::mouseClick(dialog.template findChild<QAbstractButton*>(QLatin1String(goButton)), Qt::LeftButton);
    });
    opener->click();
    TModalRun<Dialog>::SetHook(previous);
}

TEST_F(FamilyRefusalTest, EveryCommandToAForeignPackIsRefusedBeforeItIsAskedOrSent)
{
    StartOnForeignPack();
    struct Case {
        int page;
        const char* frame;
        std::vector<const char*> controls;
    } cases[] = {
        {4, "FramePackParameter1", {"BtnReadParameter", "BtnWriteParameter"}},
        {5, "FramePackConfig1", {"BtnReadDateTime", "BtnWriteDateTime", "BtnWriteRecordTime", "BtnDeleteData",
                                 "BtnDeleteAlarm", "BtnReadCapacity", "BtnWriteCapacity", "BtnWriteCycleTime",
                                 "BtnReadPackQuantity", "BtnWritePackQuantity", "BtnReadBarCode", "BtnWriteBarCode",
                                 "BtnReadVoltagePack", "BtnCalibrationVoltagePack", "BtnResetVoltagePack",
                                 "BtnReadProduct", "BtnWriteProduct"}},
        {6, "FramePackWorkDataInfo1", {"BtnRead"}},
        {7, "FramePackAlarmDataInfo1", {"BtnRead"}},
        // The control test switching the charge FET, clicked while page 4
        // rests the polling.
        {4, "FramePackAlarm1", {"CheckBox5"}},
    };
    for (const Case& c : cases) {
        Find<QTabWidget>("PageControl1")->setCurrentIndex(c.page);
        QWidget* frame = m_form->findChild<QWidget*>(QLatin1String(c.frame));
        for (const char* name : c.controls) {
            SCOPED_TRACE(name);
            auto* control = frame->findChild<QAbstractButton*>(QLatin1String(name));
            ASSERT_NE(control, nullptr);
            SharedSimBus()->clearRequests();
            m_boxes.clear();
            control->setEnabled(true);
            control->click();
            // Refused at once: the one box is the refusal, no question first.
            ASSERT_EQ(m_boxes.size(), 1);
            EXPECT_EQ(m_boxes.front().buttons, MessageBoxes::Buttons::Ok);
            EXPECT_EQ(m_boxes.front().text, m_refusal);
            QTest::qWait(50);
            EXPECT_EQ(SentBeyondReads(), std::vector<std::uint8_t>{});
        }
    }

    // The dialogs of runs over several packs leave it out; asked for it
    // alone, they only say why.
    Find<QTabWidget>("PageControl1")->setCurrentIndex(4);
    const std::function<void()> dialogs[] = {
        [this] {
            RunDialogOnPackTwo<TCompareForm>(
                m_form->findChild<QAbstractButton*>(QStringLiteral("BtnComparePacks")), "BtnReadPacks");
        },
        [this] { RunDialogOnPackTwo<TReportForm>(Find<QAbstractButton>("BtnReport"), "BtnMake"); },
    };
    for (const auto& run : dialogs) {
        SharedSimBus()->clearRequests();
        m_boxes.clear();
        run();
        ASSERT_EQ(m_boxes.size(), 1);
        EXPECT_EQ(m_boxes.front().text, m_refusal);
        QTest::qWait(50);
        EXPECT_EQ(SentBeyondReads(), std::vector<std::uint8_t>{});
    }

    // A pack whose family this run has not found yet passes the page; the
    // core's guard finds it by reading and refuses, and the page words the
    // refusal alike.
    Find<QTabWidget>("PageControl1")->setCurrentIndex(5);   // polling rests
    GlobalDevInfo()->DevOper().SetFamilyState(2, RPackFamilyState{});
    auto* config = m_form->findChild<TFramePackConfig*>(QStringLiteral("FramePackConfig1"));
    SharedSimBus()->clearRequests();
    m_boxes.clear();
    config->findChild<QPushButton*>(QStringLiteral("BtnReadDateTime"))->click();
    ASSERT_TRUE(WaitUntilIdle(*config));
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes.front().text, m_refusal);
    EXPECT_EQ(SentBeyondReads(), std::vector<std::uint8_t>{});
}

} // namespace
