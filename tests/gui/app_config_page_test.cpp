// The configuration page and the password dialog in the real window, on the
// in-process simulated packs: what each handler puts on the wire, what it
// refuses, what it shows to whom.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "lib/sim_link.h"
#include "support/page_idle.h"
#include "services/password_store.h"
#include "services/settings.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/comboboxext.h"
#include "views/framepackconfig.h"
#include "views/pwdmodifyform.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>

namespace {

constexpr int kConfigPage = 5;

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

QByteArray Long(std::int32_t value)
{
    const auto wire = std::uint32_t(value);
    return Bytes({int(wire >> 24), int((wire >> 16) & 0xFF), int((wire >> 8) & 0xFF), int(wire & 0xFF)});
}

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

class ConfigPageTest : public MainWindowTest {
protected:
    // The window on the in-process packs, pack 01 in focus, port open,
    // page 5 shown; with the password typed first when unlocked.
    void StartOnPage(bool unlocked, bool openPort = true)
    {
        RegisterSimulatorLink();
        StartWindowOnInProcessPacks("TextKind=0\nPackCount=4\nPackRead=1\nPort=1\n");
        if (HasFatalFailure())
            return;
        if (unlocked)
            Find<QLineEdit>("Edit1")->setText(QString::fromLatin1(kDefaultPassword));
        if (openPort) {
            ClickPortButton();
            ASSERT_TRUE(GlobalDevInfo()->IsSerialOpen(1));
        }
        ShowPage(kConfigPage);
        m_page = m_form->findChild<TFramePackConfig*>(QStringLiteral("FramePackConfig1"));
        ASSERT_NE(m_page, nullptr);
    }

    void ShowPage(int index) { Find<QTabWidget>("PageControl1")->setCurrentIndex(index); }

    template <typename Widget = QLineEdit>
    Widget* Control(const QString& name) const
    {
        auto* widget = m_page->findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    void Set(const QString& edit, const QString& text) { Control(edit)->setText(text); }
    QString Value(const QString& edit) const { return Control(edit)->text(); }
    // Clicks the button; returns the text of the last box shown.
    QString Click(const QString& button)
    {
        m_boxes.clear();
        Control<QPushButton>(button)->click();
        EXPECT_TRUE(WaitUntilIdle(*m_page));
        return m_boxes.isEmpty() ? QString() : m_boxes.last().text;
    }
    bool Asked() const
    {
        return std::any_of(m_boxes.begin(), m_boxes.end(), [](const MessageBoxes::Request& box) {
            return box.buttons == MessageBoxes::Buttons::OkCancel;
        });
    }
    // The INFO bytes of every request of that command so far.
    static QList<QByteArray> Sent(std::uint8_t cid2)
    {
        QList<QByteArray> sent;
        for (const SimRequest& request : SharedSimBus()->requests())
            if (request.cid2 == cid2)
                sent.append(request.info);
        return sent;
    }
    static QByteArray LastSent(std::uint8_t cid2) { return Sent(cid2).value(Sent(cid2).size() - 1); }

    TFramePackConfig* m_page = nullptr;
};

TEST_F(ConfigPageTest, EveryWriteReachesThePackAsTheFieldsSay)
{
    StartOnPage(true);
    const QString ok = Text(0x3504);

    // Clock from the PC, read back.
    Control<QCheckBox>("CheckBox1")->setChecked(true);
    EXPECT_EQ(Click("BtnWriteDateTime"), ok);
    EXPECT_TRUE(Asked());
    Control<QDateEdit>("DateTimePicker1")->setDate(QDate(2001, 1, 1));
    EXPECT_EQ(Click("BtnReadDateTime"), ok);
    const QDateTime shown(Control<QDateEdit>("DateTimePicker1")->date(), Control<QTimeEdit>("DateTimePicker2")->time());
    EXPECT_LE(std::abs(shown.secsTo(QDateTime::currentDateTime())), 5);

    // Recording window and interval: pack, start, end, 16-bit seconds.
    Control<QTimeEdit>("DateTimePicker4")->setTime(QTime(8, 30));
    Control<QTimeEdit>("DateTimePicker5")->setTime(QTime(17, 45));
    Set("Edit1", "600");
    EXPECT_EQ(Click("BtnWriteRecordTime"), ok);
    EXPECT_EQ(LastSent(0xE1), Bytes({1, 8, 30, 17, 45, 0x02, 0x58}));

    // Capacities go in 10 mAh.
    Set("Edit2", "12345");
    Set("Edit3", "12000");
    Set("Edit4", "6005");
    EXPECT_EQ(Click("BtnWriteCapacity"), ok);
    Set("Edit2", "");
    EXPECT_EQ(Click("BtnReadCapacity"), ok);
    EXPECT_EQ(Value("Edit2"), "12340");
    EXPECT_EQ(Value("Edit3"), "12000");
    EXPECT_EQ(Value("Edit4"), "6000");

    Set("Edit5", "321");
    EXPECT_EQ(Click("BtnWriteCycleTime"), ok);
    EXPECT_EQ(LastSent(0xE7), Bytes({1, 0x01, 0x41}));

    Set("Edit6", "3");
    EXPECT_EQ(Click("BtnWritePackQuantity"), ok);
    Set("Edit6", "");
    EXPECT_EQ(Click("BtnReadPackQuantity"), ok);
    EXPECT_EQ(Value("Edit6"), "3");

    // The bar code is trimmed and padded to 30 characters.
    Set("Edit10", "  AB12  ");
    EXPECT_EQ(Click("BtnWriteBarCode"), ok);
    EXPECT_EQ(LastSent(0xEA), Bytes({1}) + "AB12" + QByteArray(26, ' '));
    Set("Edit10", "");
    EXPECT_EQ(Click("BtnReadBarCode"), ok);
    EXPECT_EQ(Value("Edit10"), "AB12");

    // Product texts: an empty production date goes out as 30 spaces.
    const QStringList texts = {"ACME", "", "M1", "V2", "LFP", "SN9", "note"};
    const QStringList edits = {"Edit25", "Edit31", "Edit26", "Edit27", "Edit28", "Edit29", "Edit30"};
    for (int i = 0; i < edits.size(); ++i)
        Set(edits[i], texts[i]);
    EXPECT_EQ(Click("BtnWriteProduct"), ok);
    EXPECT_EQ(LastSent(0xF2).mid(31, 30), QByteArray(30, ' '));
    for (const QString& edit : edits)
        Set(edit, "x");
    EXPECT_EQ(Click("BtnReadProduct"), ok);
    for (int i = 0; i < edits.size(); ++i)
        EXPECT_EQ(Value(edits[i]), texts[i]) << edits[i].toStdString();

    // Required texts are checked in wire order; nothing goes out.
    Set("Edit26", " ");
    Set("Edit30", "");
    const qsizetype writes = Sent(0xF2).size();
    EXPECT_EQ(Click("BtnWriteProduct"), Text(0x7039));
    EXPECT_EQ(Sent(0xF2).size(), writes);
}

TEST_F(ConfigPageTest, CalibrationRowsSendBackWhatTheyRead)
{
    StartOnPage(true);
    const QString ok = Text(0x3504);
    struct Row {
        const char* suffix;
        const char* first;
        const char* second;
        int kind;
        int item;
    };
    const Row rows[] = {{"VoltageReference", "Edit18", "Edit13", 1, 11}, {"VoltagePack", "Edit19", "Edit14", 1, 12},
                        {"CurrentCharging", "Edit20", "Edit15", 2, 22}, {"CurrentZero", "Edit21", "Edit16", 2, 21},
                        {"CurrentDischarge", "Edit22", "Edit17", 2, 23}};
    for (const Row& row : rows) {
        const QString suffix = QLatin1String(row.suffix);
        EXPECT_EQ(Click("BtnRead" + suffix), ok) << row.suffix;
        EXPECT_EQ(LastSent(0xED), Bytes({1, row.kind, row.item}));
        const std::int32_t first = Value(row.first).toInt();
        const std::int32_t second = Value(row.second).toInt();
        EXPECT_EQ(Click("BtnCalibration" + suffix), ok) << row.suffix;
        EXPECT_EQ(LastSent(0xEE), Bytes({1, row.kind, row.item, 2}) + Long(first) + Long(second)) << row.suffix;
        // The silent re-read shows what the pack holds now.
        EXPECT_EQ(LastSent(0xED), Bytes({1, row.kind, row.item}));
    }

    // A negative value goes one higher; a reset sends zeros.
    Set("Edit16", "-5");
    EXPECT_EQ(Click("BtnCalibrationCurrentZero"), ok);
    EXPECT_EQ(LastSent(0xEE).mid(8, 4), Long(-4));
    EXPECT_EQ(Click("BtnResetCurrentZero"), ok);
    EXPECT_EQ(LastSent(0xEE), Bytes({1, 2, 21, 1}) + Long(0) + Long(0));

    // A temperature of 25.6 shows as 26 and calibrates as 260 tenths.
    ASSERT_EQ(GlobalDevInfo()->WriteCalibration(1, 1, 3, 1, false, *Decimal::parse(u"25.6"), Decimal()), 0);
    auto* sensors = Control<TComboBoxExt>("ComboBoxExt1");
    ASSERT_TRUE(sensors->selectValue(QStringLiteral("1")));
    EXPECT_EQ(Click("BtnReadTemperature"), ok);
    EXPECT_EQ(Value("Edit23"), "26");
    EXPECT_EQ(Click("BtnCalibrationTemperature"), ok);
    EXPECT_EQ(LastSent(0xEE).mid(0, 8), Bytes({1, 3, 1, 2}) + Long(260));

    // The ambient and FET entries read items 5 and 6.
    for (const int item : {5, 6}) {
        ASSERT_TRUE(sensors->selectValue(QString::number(item)));
        EXPECT_EQ(Click("BtnReadTemperature"), ok);
        EXPECT_EQ(LastSent(0xED), Bytes({1, 3, item}));
    }
}

TEST_F(ConfigPageTest, ValuesThePackCouldOnlyGetWrappedAreRefusedBeforeTheQuestion)
{
    StartOnPage(true);
    EXPECT_EQ(Click("BtnReadCurrentZero"), Text(0x3504));
    struct Case {
        const char* edit;
        const char* text;
        const char* button;
        std::uint8_t cid2;
        std::uint16_t message;
    };
    const Case cases[] = {
        {"Edit1", "70000", "BtnWriteRecordTime", 0xE1, 0x7051},
        {"Edit2", "700000", "BtnWriteCapacity", 0xE6, 0x7052},
        {"Edit6", "17", "BtnWritePackQuantity", 0xE8, 0x7053},
        {"Edit6", "0", "BtnWritePackQuantity", 0xE8, 0x7053},
        {"Edit5", "1x", "BtnWriteCycleTime", 0xE7, 0x7050},
        {"Edit16", "-", "BtnCalibrationCurrentZero", 0xEE, 0x7050},
        {"Edit16", "99999999999", "BtnCalibrationCurrentZero", 0xEE, 0x7054},
    };
    Set("Edit3", "1000");
    Set("Edit4", "1000");
    for (const Case& c : cases) {
        const qsizetype before = Sent(c.cid2).size();
        Set(c.edit, c.text);
        const QString shown = Click(c.button);
        EXPECT_TRUE(shown.startsWith(Text(c.message).section(u'%', 0, 0))) << c.text << ": " << shown.toStdString();
        EXPECT_FALSE(Asked()) << c.text;
        EXPECT_EQ(Sent(c.cid2).size(), before) << c.text;
    }
    // An empty row refuses calibration and reset alike.
    Set("Edit18", "");
    EXPECT_EQ(Click("BtnResetVoltageReference"), Text(0x702B));

    // A pack clock that is no date is reported; the date fields keep theirs.
    ASSERT_TRUE(SharedSimBus()->addFault(QStringLiteral("badclock")));
    Control<QDateEdit>("DateTimePicker1")->setDate(QDate(2020, 5, 6));
    EXPECT_TRUE(Click("BtnReadDateTime").startsWith(Text(0x7056).section(u'%', 0, 0)));
    EXPECT_EQ(Control<QDateEdit>("DateTimePicker1")->date(), QDate(2020, 5, 6));

    // Pasted control characters: refused by the field's name before the
    // question; nothing goes out.
    for (const char* edit : {"Edit25", "Edit31", "Edit26", "Edit27", "Edit28", "Edit29", "Edit30"})
        Set(edit, "ok");
    struct Pasted {
        const char* edit;
        const char* button;
        std::uint8_t cid2;
        std::uint16_t label;
    };
    const Pasted pasted[] = {{"Edit10", "BtnWriteBarCode", 0xEA, 0x700F},
                             {"Edit31", "BtnWriteProduct", 0xF2, 0x703F},
                             {"Edit30", "BtnWriteProduct", 0xF2, 0x7036}};
    for (const Pasted& p : pasted) {
        const qsizetype before = Sent(p.cid2).size();
        Set(p.edit, QStringLiteral("AB\x01" "CD\tEF"));
        EXPECT_EQ(Click(p.button), Text(0x3660).arg(Text(p.label), QStringLiteral("\"AB\\x01CD\\x09EF\"")))
            << p.edit;
        EXPECT_FALSE(Asked()) << p.edit;
        EXPECT_EQ(Sent(p.cid2).size(), before) << p.edit;
        Set(p.edit, "ok");
    }

    // A text longer than its field is refused by name, not cut; the field
    // keeps all of it.
    const struct {
        const char* edit;
        const char* button;
        std::uint8_t cid2;
        std::uint16_t label;
        int characters;
    } tooLong[] = {{"Edit10", "BtnWriteBarCode", 0xEA, 0x700F, 30},
                   {"Edit31", "BtnWriteProduct", 0xF2, 0x703F, 10},
                   {"Edit30", "BtnWriteProduct", 0xF2, 0x7036, 30}};
    for (const auto& t : tooLong) {
        const qsizetype before = Sent(t.cid2).size();
        Set(t.edit, QString(t.characters + 1, QLatin1Char('7')));
        EXPECT_EQ(Click(t.button), Text(0x36BA).arg(Text(t.label)).arg(t.characters).arg(30)) << t.edit;
        EXPECT_FALSE(Asked()) << t.edit;
        EXPECT_EQ(Sent(t.cid2).size(), before) << t.edit;
        EXPECT_EQ(Value(t.edit).size(), t.characters + 1) << t.edit;
        Set(t.edit, "ok");
    }
}

TEST_F(ConfigPageTest, AfterAnotherPackIsChosenEachGroupSaysWhereItsValuesCameFrom)
{
    StartOnPage(true);
    const QStringList notes = {"LabelOriginRecording", "LabelOriginCapacity", "LabelOriginPackCount",
                               "LabelOriginBarCode", "LabelOriginProduct"};
    const auto shownNotes = [&] {
        QStringList texts;
        for (const QString& name : notes)
            texts << (Control<QLabel>(name)->isVisible() ? Control<QLabel>(name)->text() : QString());
        return texts;
    };
    for (const char* button : {"BtnReadCapacity", "BtnReadPackQuantity", "BtnReadBarCode", "BtnReadProduct",
                               "BtnWriteRecordTime"})
        EXPECT_EQ(Click(button), Text(0x3504)) << button;
    EXPECT_EQ(shownNotes(), QStringList(notes.size(), QString()));

    // As the user picks a pack from the list.
    auto* packs = Find<TComboBoxExt>("ComboBoxExt2");
    const auto choose = [packs](const QString& text) {
        const int target = packs->findText(text);
        while (packs->currentIndex() < target)
            QTest::keyClick(packs, Qt::Key_Down);
        while (packs->currentIndex() > target)
            QTest::keyClick(packs, Qt::Key_Up);
    };
    choose(QStringLiteral("02"));
    EXPECT_EQ(shownNotes(), QStringList(notes.size(), Text(0x36B9).arg(1).arg(2)));
    // Reading pack 2's capacities makes that group its own again.
    EXPECT_EQ(Click("BtnReadCapacity"), Text(0x3504));
    EXPECT_FALSE(Control<QLabel>("LabelOriginCapacity")->isVisible());
    EXPECT_TRUE(Control<QLabel>("LabelOriginBarCode")->isVisible());
    choose(QStringLiteral("01"));
    EXPECT_EQ(Control<QLabel>("LabelOriginCapacity")->text(), Text(0x36B9).arg(2).arg(1));
    EXPECT_FALSE(Control<QLabel>("LabelOriginBarCode")->isVisible());
}

TEST_F(ConfigPageTest, WriteControlsFollowThePasswordAndEachEntryEmptiesTheFields)
{
    StartOnPage(false, false);
    const QStringList leftButtons = {"BtnReadDateTime", "BtnWriteDateTime", "BtnWriteRecordTime", "BtnDeleteData",
                                     "BtnDeleteAlarm", "BtnReadCapacity", "BtnWriteCapacity", "BtnWriteCycleTime",
                                     "BtnReadPackQuantity", "BtnWritePackQuantity", "BtnReadBarCode",
                                     "BtnWriteBarCode"};
    QStringList visible;
    for (const QString& name : leftButtons)
        if (Control<QPushButton>(name)->isVisible())
            visible.append(name);
    EXPECT_EQ(visible, QStringList({"BtnReadDateTime", "BtnReadCapacity", "BtnReadPackQuantity", "BtnReadBarCode"}));
    EXPECT_FALSE(Control<QGroupBox>("GroupBox2")->isVisible());
    EXPECT_FALSE(Control<QGroupBox>("GroupBox4")->isVisible());
    EXPECT_FALSE(Control<QPushButton>("BtnCalibrationTemperature")->isVisible());
    EXPECT_FALSE(Control<QPushButton>("BtnWriteProduct")->isVisible());
    // With the port closed a read says so and sends nothing.
    EXPECT_EQ(Click("BtnReadCapacity"), Text(0x3503));

    ShowPage(0);
    Find<QLineEdit>("Edit1")->setText(QString::fromLatin1(kDefaultPassword));
    ShowPage(kConfigPage);
    for (const QString& name : leftButtons)
        EXPECT_TRUE(Control<QPushButton>(name)->isVisible()) << name.toStdString();
    for (const char* name : {"BtnCalibrationVoltageReference", "BtnResetTemperature", "BtnWriteProduct"})
        EXPECT_TRUE(Control<QPushButton>(name)->isVisible()) << name;

    Set("Edit1", "7");
    Set("Edit2", "5");
    Set("Edit13", "9");
    Set("Edit25", "ACME");
    ShowPage(0);
    ShowPage(kConfigPage);
    EXPECT_EQ(Value("Edit1"), "60");
    EXPECT_EQ(Value("Edit5"), "0");
    for (const char* name : {"Edit2", "Edit13", "Edit25"})
        EXPECT_TRUE(Value(name).isEmpty()) << name;
    EXPECT_EQ(Control<QLabel>("Label18")->text(), "1-16");
    EXPECT_EQ(Control<TComboBoxExt>("ComboBoxExt1")->count(), 6);
}

TEST_F(ConfigPageTest, KeyFiltersDropCharactersTheFieldDoesNotTake)
{
    StartOnPage(true, false);
    const struct {
        const char* edit;
        const char* typed;
        const char* kept;
    } cases[] = {{"Edit2", "1a2-3.", "123"}, {"Edit16", "-1a.5", "-15"}, {"Edit24", "-2x.5", "-2.5"},
                 {"Edit10", "A-1.b", "A-1.b"}};
    for (const auto& c : cases) {
        Set(c.edit, "");
        QTest::keyClicks(Control(c.edit), QLatin1String(c.typed));
        EXPECT_EQ(Value(c.edit), c.kept) << c.edit;
    }
}

TEST_F(ConfigPageTest, WritesWhilePollingWaitForTheLinkAndAllSucceed)
{
    StartOnPage(true);
    ShowPage(0);   // the polling thread works again
    ASSERT_TRUE(WaitFor([] { return SharedSimBus()->answerCount() > 4; }));
    for (int i = 0; i < 10; ++i) {
        Set("Edit5", QString::number(i));
        EXPECT_EQ(Click("BtnWriteCycleTime"), Text(0x3504)) << i;
    }
    const qint64 answers = SharedSimBus()->answerCount();
    EXPECT_TRUE(WaitFor([&] { return SharedSimBus()->answerCount() > answers + 2; }));
    EXPECT_EQ(GlobalDevInfo()->LastResult(), 0);
}

// ---- The password dialog behind BtnChange.

class PasswordDialogTest : public ConfigPageTest {
protected:
    void TearDown() override
    {
        TPwdModifyForm::SetExecHook({});
        ConfigPageTest::TearDown();
    }
    // Opens the dialog and plays the steps on it.
    void Change(const std::function<void(TPwdModifyForm&)>& steps)
    {
        TPwdModifyForm::SetExecHook(steps);
        m_boxes.clear();
        Find<QPushButton>("BtnChange")->click();
    }
    static void Fill(TPwdModifyForm& dialog, const QString& old, const QString& first, const QString& second)
    {
        dialog.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(old);
        dialog.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(first);
        dialog.findChild<QLineEdit*>(QStringLiteral("Edit3"))->setText(second);
    }
    static QString Field(TPwdModifyForm& dialog, const char* name)
    {
        return dialog.findChild<QLineEdit*>(QLatin1String(name))->text();
    }
    static void Press(TPwdModifyForm& dialog, const char* button)
    {
        dialog.findChild<QPushButton*>(QLatin1String(button))->click();
    }
};

TEST_F(PasswordDialogTest, ChecksInOrderAndHandsBackOnlyACompletePass)
{
    StartOnPage(false, false);
    const QString old = QString::fromLatin1(kDefaultPassword);

    Change([&](TPwdModifyForm& dialog) {
        Fill(dialog, "wrong", "abcdef", "abcdef");
        Press(dialog, "BtnOk");
        EXPECT_EQ(m_boxes.last().text, Text(0x5077));
        EXPECT_TRUE(Field(dialog, "Edit1").isEmpty());
        EXPECT_EQ(Field(dialog, "Edit2"), "abcdef");
        EXPECT_EQ(Field(dialog, "Edit3"), "abcdef");

        Fill(dialog, old, "abcde", "abcde");
        Press(dialog, "BtnOk");
        EXPECT_EQ(m_boxes.last().text, Text(0x5079));
        EXPECT_EQ(Field(dialog, "Edit2"), "abcde");

        // Longer than the store keeps: refused with the limit, never cut.
        const QString longer(21, u'x');
        Fill(dialog, old, longer, longer);
        Press(dialog, "BtnOk");
        EXPECT_EQ(m_boxes.last().text, Text(0x3661).arg(20));
        EXPECT_EQ(Field(dialog, "Edit2"), longer);
        EXPECT_TRUE(dialog.isVisible());

        Fill(dialog, old, "abcdef", "abcdeg");
        Press(dialog, "BtnOk");
        EXPECT_EQ(m_boxes.last().text, Text(0x507A));
        EXPECT_TRUE(Field(dialog, "Edit2").isEmpty() && Field(dialog, "Edit3").isEmpty());
        EXPECT_TRUE(dialog.isVisible());
        Press(dialog, "BtnCancel");
        EXPECT_TRUE(dialog.NewPassword().isEmpty());
    });
    // Closed by the window system after valid input: nothing either.
    Change([&](TPwdModifyForm& dialog) {
        Fill(dialog, old, "abcdef", "abcdef");
        dialog.close();
    });
    EXPECT_EQ(Globals().StoredPassword, old);
    EXPECT_FALSE(QFile::exists(PasswordFilePath()));

    // Blanks around the new password are trimmed on both fields.
    Change([&](TPwdModifyForm& dialog) {
        Fill(dialog, " " + old + " ", "  secret1 ", "secret1\t");
        Press(dialog, "BtnOk");
        EXPECT_FALSE(dialog.isVisible());
    });
    ASSERT_FALSE(m_boxes.isEmpty());
    EXPECT_EQ(m_boxes.last().text, Text(0x3513));
    EXPECT_EQ(Globals().StoredPassword, "secret1");
    EXPECT_EQ(ReadPassword(), "secret1");
    const QFileInfo file(PasswordFilePath());
    EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions());
}

} // namespace
