// The parameter page against the in-process simulated packs: what a read
// shows, what a write changes in the pack's block (compared byte by byte),
// what is refused before anything is sent, and parameter files.

#include "params/parameter_block.h"
#include "protocol/command_catalogue.h"
#include "services/settings.h"
#include "services/textoper.h"
#include "store/bus_jobs.h"
#include "store/sim_store.h"
#include "views/comboboxext.h"
#include "views/file_dialogs.h"
#include "views/framepackparameter.h"
#include "views/message_boxes.h"

#include "lib/sim_bus.h"
#include "lib/sim_pack.h"
#include "support/page_idle.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t kPack = 2;

class ParameterPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.opened);
        ASSERT_TRUE(m_files.isValid());
        AppGlobals& globals = Globals();
        globals.PortNumber = 1;
        globals.SelectedPack = kPack;
        globals.SelectedAddress = kPack;
        globals.PasswordOk = true;
        globals.ParametersRead = false;
        globals.ParameterPath = m_files.path() + QLatin1Char('/');
        TTextOper().SetLanguage(TTextOper::SimplifiedChinese);
        m_previousBoxes = MessageBoxes::SetHandler([this](QWidget*, const MessageBoxes::Request& request) {
            m_boxes.append(request);
            return m_answer;
        });
        m_previousSave = FileDialogs::SetSaveHandler([this](QWidget*, const FileDialogs::SaveRequest& request) {
            m_dialogs.append(request);
            return m_chosenFile;
        });
        m_previousOpen = FileDialogs::SetOpenHandler([this](QWidget*, const FileDialogs::OpenRequest& request) {
            m_dialogs.append(request);
            return m_chosenFile;
        });
        m_page.SetStore(m_sim.store.get());
        m_page.resize(1200, 650);
        m_page.show();
        EnterPage();
    }

    void TearDown() override
    {
        MessageBoxes::SetHandler(m_previousBoxes);
        FileDialogs::SetSaveHandler(m_previousSave);
        FileDialogs::SetOpenHandler(m_previousOpen);
        TTextOper().SetLanguage(TTextOper::SimplifiedChinese);
        Globals().PasswordOk = false;
        Globals().ParametersRead = false;
    }

    // What the main window does when the page is entered, or another pack
    // is chosen.
    void EnterPage(std::uint8_t pack = kPack)
    {
        Globals().SelectedPack = pack;
        Globals().SelectedAddress = pack;
        m_page.InitPage();
        m_page.ShowPackInFocus();
        m_page.ApplyLanguage();
    }

    template <typename Widget>
    Widget* Find(const QString& name) const
    {
        auto* widget = m_page.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }
    QTableWidget* Grid() const { return Find<QTableWidget>(QStringLiteral("StringGrid1")); }
    TComboBoxExt* Choice(int number) const { return Find<TComboBoxExt>(QStringLiteral("ComboBoxExt%1").arg(number)); }
    QCheckBox* Switch(int number) const { return Find<QCheckBox>(QStringLiteral("CheckBox%1").arg(number)); }

    int RowOf(std::uint8_t id) const
    {
        for (int row = 0; row < Grid()->rowCount(); ++row)
            if (Grid()->item(row, 0)->text() == QString::number(id))
                return row;
        ADD_FAILURE() << "no row for " << int(id);
        return -1;
    }
    QString ShownValue(std::uint8_t id) const { return Grid()->item(RowOf(id), 5)->text(); }

    // Types into the value cell of the parameter as a user does.
    void TypeValue(std::uint8_t id, const QString& keys)
    {
        m_page.StringGrid1SelectCell(RowOf(id), TFramePackParameter::kValueColumn);
        auto* edit = Find<QLineEdit>(QStringLiteral("Edit1"));
        ASSERT_TRUE(edit->isVisible());
        QTest::keyClicks(edit, keys);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    // A click on the value cell of the parameter, as the mouse gives it.
    void ClickValueCell(std::uint8_t id)
    {
        const QTableWidgetItem* cell = Grid()->item(RowOf(id), TFramePackParameter::kValueColumn);
        Grid()->scrollToItem(cell);
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, Grid()->visualItemRect(cell).center());
    }
    // Keys typed go to whatever has the page's focus.
    void TypeKeys(const QString& keys)
    {
        QWidget* target = m_page.focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClicks(target, keys);
        QTest::keyClick(m_page.focusWidget(), Qt::Key_Return);
    }
    RParameter Decoded(const QByteArray& block) const
    {
        RParameter set = m_sim.store->ParameterInfo().NewParameterSet(kPack);
        DecodeParameterBlock(block, set);
        return set;
    }

    // The block the pack holds, as it sends it.
    QByteArray HeldBlock()
    {
        QByteArray block;
        const char info[] = {char(kPack)};
        EXPECT_EQ(m_sim.store->DevOper().Execute(kPack, CommandId::ReadParameters, QByteArrayView(info, 1),
                                                  [&block](const AnswerView& answer) {
                                                      for (int k = 0; k < answer.infoCount(); ++k)
                                                          block.append(char(answer.info(k)));
                                                      return std::uint8_t(0);
                                                  }),
                  0);
        return block;
    }
    void PutBlock(const QByteArray& block)
    {
        ASSERT_EQ(m_sim.store->DevOper().Execute(kPack, CommandId::WriteParameters, block + QByteArray(1, '\0')), 0);
    }

    void ClickWrite()
    {
        QTest::mouseClick(Find<QPushButton>(QStringLiteral("BtnWriteParameter")), Qt::LeftButton);
        ASSERT_TRUE(WaitUntilIdle(m_page));
    }
    void ReadFromPack()
    {
        m_page.BtnReadParameterClick();
        ASSERT_TRUE(WaitUntilIdle(m_page));
        ASSERT_EQ(m_boxes.last().text, TTextOper().GetLanguageText(0x3504));
    }
    QString LastText() const { return m_boxes.isEmpty() ? QString() : m_boxes.last().text; }

    SimulatedStore m_sim;
    QTemporaryDir m_files;
    TFramePackParameter m_page;
    QList<MessageBoxes::Request> m_boxes;
    MessageBoxes::Answer m_answer = MessageBoxes::Answer::Ok;
    QList<FileDialogs::SaveRequest> m_dialogs;
    QString m_chosenFile;
    MessageBoxes::Handler m_previousBoxes;
    FileDialogs::SaveHandler m_previousSave;
    FileDialogs::OpenHandler m_previousOpen;
};

// The offsets whose bytes differ.
std::vector<int> ChangedBytes(const QByteArray& before, const QByteArray& after)
{
    std::vector<int> changed;
    for (int k = 0; k < std::min(before.size(), after.size()); ++k)
        if (before[k] != after[k])
            changed.push_back(k);
    return changed;
}

TEST_F(ParameterPageTest, ReadShowsThePacksBlockInTheGridBoxesAndSwitches)
{
    RParameter expected = m_sim.store->ParameterInfo().NewParameterSet(kPack);
    DecodeParameterBlock(HeldBlock(), expected);
    ReadFromPack();

    ASSERT_EQ(Grid()->rowCount(), 86);
    EXPECT_TRUE(Grid()->isColumnHidden(0));
    for (int row = 0; row < Grid()->rowCount(); ++row) {
        const RParameterKind entry = TParameterInfo::FindParameter(Grid()->item(row, 0)->text().toInt(), expected);
        EXPECT_EQ(Grid()->item(row, 1)->text(), entry.Names[0]);
        EXPECT_EQ(Grid()->item(row, 5)->text(),
                  TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.Value));
    }
    const std::array<int, 4> choiceIds = {20, 140, 148, 149};
    for (int box = 0; box < 4; ++box)
        EXPECT_EQ(Choice(box + 1)->selectedValue(),
                  QString::number(TParameterInfo::GetParameterInt(choiceIds[std::size_t(box)], expected)));
    // Check box number and the switch it shows, as the page is specified.
    constexpr std::array<std::pair<int, int>, 42> kBoxes = {{
        {1, 186}, {2, 180}, {3, 184}, {4, 182}, {5, 185}, {6, 181}, {7, 183}, {8, 187}, {23, 188}, {24, 189},
        {40, 199}, {41, 198}, {42, 197}, {9, 203}, {10, 201}, {11, 213}, {12, 211}, {13, 202}, {14, 200},
        {15, 212}, {16, 210}, {17, 207}, {18, 209}, {19, 204}, {20, 205}, {21, 206}, {22, 208}, {25, 233},
        {26, 231}, {27, 243}, {28, 241}, {29, 232}, {30, 230}, {31, 242}, {32, 240}, {33, 237}, {34, 239},
        {35, 234}, {36, 235}, {37, 236}, {38, 238}, {39, 244}}};
    for (const auto& [number, id] : kBoxes) {
        EXPECT_EQ(Switch(number)->isChecked(), TParameterInfo::GetParameterFlag(std::uint8_t(id), expected)) << number;
        EXPECT_EQ(Switch(number)->text(), TParameterInfo::GetParameterName(std::uint8_t(id), 0, expected)) << number;
    }
    EXPECT_FALSE(Switch(24)->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(QStringLiteral("BtnWriteParameter"))->isEnabled());
    EXPECT_EQ(m_sim.store->GetStoredParameters(kPack), m_page.CurrentSet());
}

TEST_F(ParameterPageTest, WithoutThePasswordTheWriteButtonStaysDisabledAfterARead)
{
    Globals().PasswordOk = false;
    EnterPage();
    ReadFromPack();
    EXPECT_FALSE(Find<QPushButton>(QStringLiteral("BtnWriteParameter"))->isEnabled());
}

// Each edit changes exactly the bytes that carry it; the write is read back
// and the write button waits for the next read.
TEST_F(ParameterPageTest, AWriteChangesOnlyTheBytesOfWhatWasEdited)
{
    const RBlockField* sampling = FindBlockField(13);   // hundredths, two bytes
    const RBlockField* depletion = FindBlockField(12);  // whole number, two bytes
    int dfetByte = -1;
    for (const RBlockSwitchByte& byte : ParameterBlockSwitches())
        if (std::find(byte.ids.begin(), byte.ids.end(), 185) != byte.ids.end())
            dfetByte = byte.offset;
    struct Case {
        const char* what;
        std::function<void()> edit;
        std::vector<int> changed;
        std::function<void(const QByteArray&)> check;
    };
    const std::vector<Case> cases = {
        {"value typed into Edit1 (letters discarded)", [&] { TypeValue(13, QStringLiteral("1.2x5")); },
         {sampling->offset + 1}, [&](const QByteArray& block) { EXPECT_EQ(std::uint8_t(block[sampling->offset + 1]), 125); }},
        {"2.5 for an integer is sent rounded", [&] { TypeValue(12, QStringLiteral("2.5")); },
         {depletion->offset + 1}, [&](const QByteArray& block) { EXPECT_EQ(std::uint8_t(block[depletion->offset + 1]), 3); }},
        {"DFET unchecked", [&] { Switch(5)->setChecked(!Switch(5)->isChecked()); }, {dfetByte}, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        ReadFromPack();
        const QByteArray before = HeldBlock();
        test.edit();
        ClickWrite();
        EXPECT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
        const QByteArray after = HeldBlock();
        EXPECT_EQ(ChangedBytes(before, after), test.changed);
        if (test.check)
            test.check(after);
        EXPECT_FALSE(Find<QPushButton>(QStringLiteral("BtnWriteParameter"))->isEnabled());
        EXPECT_FALSE(Globals().ParametersRead.load());
    }
    // The DFET switch is one bit of its byte.
    RParameter shown = m_page.CurrentSet();
    EXPECT_EQ(Switch(5)->isChecked(), TParameterInfo::GetParameterFlag(185, shown));
}

TEST_F(ParameterPageTest, WriteIsOfferedOnlyForTheSetReadFromThePackInFocusSinceItsLastWrite)
{
    constexpr std::uint8_t kWriteCid2 = 0x49;
    auto* write = Find<QPushButton>(QStringLiteral("BtnWriteParameter"));
    auto* origin = Find<QLabel>(QStringLiteral("LabelSetOrigin"));
    const TTextOper texts;
    EnterPage(1);
    ReadFromPack();
    EXPECT_TRUE(write->isEnabled());

    // Pack 2 was never read: no zeros offered for writing, nothing sent.
    EnterPage(kPack);
    EXPECT_FALSE(write->isEnabled());
    EXPECT_EQ(origin->text(), texts.GetLanguageText(0x36B7).arg(kPack));
    SharedSimBus()->clearRequests();
    m_page.BtnWriteParameterClick();
    EXPECT_EQ(SharedSimBus()->requestCount(kWriteCid2), 0);

    // Read, it goes back with its own address and node number.
    ReadFromPack();
    EXPECT_TRUE(write->isEnabled());
    EXPECT_TRUE(origin->text().startsWith(texts.GetLanguageText(0x36B6).arg(kPack).section(u'%', 0, 0)));
    const Decimal node = m_page.CurrentSet().Entries[11].Value;
    ClickWrite();
    ASSERT_EQ(SharedSimBus()->requestCount(kWriteCid2), 1);
    for (const SimRequest& request : SharedSimBus()->requests()) {
        if (request.cid2 != kWriteCid2)
            continue;
        EXPECT_EQ(request.address, kPack);
        EXPECT_EQ(Decoded(request.info).Entries[1].Value, Decimal::fromInt(kPack));
        EXPECT_EQ(Decoded(request.info).Entries[11].Value, node);
    }
    EXPECT_FALSE(write->isEnabled());

    // Pack 1 keeps its own read, until a batch write (the compare window's)
    // writes it: then its set must be read again.
    EnterPage(1);
    EXPECT_TRUE(write->isEnabled());
    RParameterSource source;
    source.lines = {{2, 23, Decimal::fromInt(3450)}};
    ASSERT_TRUE(WriteParameterSets(*m_sim.store, {1}, source, 1, {}).allWritten());
    EnterPage(1);
    EXPECT_FALSE(write->isEnabled());
    EXPECT_EQ(m_page.CurrentSet().Entries[23].Value, Decimal::fromInt(3450));

    // The answer to the page's own write lost: the read-back decides.
    // The answers from here: the read, the write (garbled), the read-back.
    SimulatedStore::AddFault(QStringLiteral("wrongaddr:2"));
    ReadFromPack();
    TypeValue(23, QStringLiteral("3440"));
    ClickWrite();
    EXPECT_EQ(LastText(), texts.GetLanguageText(0x36B0));
    EXPECT_EQ(m_page.CurrentSet().Entries[23].Value, Decimal::fromInt(3440));
}

// Refused before anything is sent: the row is selected with its value open
// in Edit1, and the message names the parameter.
TEST_F(ParameterPageTest, ValuesOutOfRangeOrTooLargeForTheBlockAreRefusedByName)
{
    struct Case {
        std::uint8_t id;
        const char* typed;
        const char* message;
    };
    const std::array<Case, 3> cases = {{
        {1, "17", "RS485地址--超出范围！"},
        {11, "0", "电池节数--超出范围！"},
        {12, "70000", "电池自损耗--超出范围！"},   // no range, but two bytes
    }};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.typed);
        ReadFromPack();
        const QByteArray before = HeldBlock();
        m_boxes.clear();
        TypeValue(test.id, QString::fromLatin1(test.typed));
        ClickWrite();
        ASSERT_EQ(m_boxes.size(), 1);   // no confirmation asked
        EXPECT_EQ(LastText(), QString::fromUtf8(test.message));
        EXPECT_EQ(Grid()->currentRow(), RowOf(test.id));
        EXPECT_EQ(Grid()->currentColumn(), 5);
        EXPECT_TRUE(Find<QLineEdit>(QStringLiteral("Edit1"))->isVisible());
        EXPECT_EQ(HeldBlock(), before);
        EXPECT_TRUE(Find<QPushButton>(QStringLiteral("BtnWriteParameter"))->isEnabled());
    }
}

TEST_F(ParameterPageTest, RestoringDefaultsSkipsTheRangeCheckAndIsUncheckedAfterwards)
{
    QByteArray changed = HeldBlock();
    changed[FindBlockField(13)->offset + 1] = char(7);   // sampling resistance 0.07
    PutBlock(changed);
    ReadFromPack();
    TypeValue(1, QStringLiteral("17"));
    auto* restore = Find<QCheckBox>(QStringLiteral("CheckBox100"));
    restore->setChecked(true);
    m_boxes.clear();
    ClickWrite();
    ASSERT_EQ(m_boxes.size(), 2);
    EXPECT_EQ(m_boxes.front().buttons, MessageBoxes::Buttons::OkCancel);
    EXPECT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
    EXPECT_EQ(HeldBlock(), SimPack::DefaultParameterBlock(kPack));
    EXPECT_FALSE(restore->isChecked());
    EXPECT_EQ(ShownValue(13), QStringLiteral("1.00"));   // read back
}

// What the lists do not hold is shown as nothing (balance mode) or "None"
// (protocols), and written back as the pack holds it until the user picks
// an item.
TEST_F(ParameterPageTest, ValuesTheListsDoNotHoldAreShownAsNoneOrNothingAndKept)
{
    QByteArray block = HeldBlock();
    block[FindBlockField(20)->offset] = char(7);    // balance mode 7
    block[FindBlockField(148)->offset] = char(10);  // an RS485 protocol nobody lists
    block[FindBlockField(149)->offset] = char(200); // and a CAN protocol
    PutBlock(block);
    ReadFromPack();
    EXPECT_EQ(Choice(1)->currentIndex(), -1);
    EXPECT_EQ(Choice(3)->currentText(), QStringLiteral("None"));
    EXPECT_EQ(Choice(4)->currentText(), QStringLiteral("None"));

    ClickWrite();
    EXPECT_EQ(HeldBlock(), block);

    // The user's pick is written, whatever the pack held.
    ReadFromPack();
    QTest::keyClick(Choice(3), Qt::Key_Down);
    ASSERT_EQ(Choice(3)->currentIndex(), 1);
    ClickWrite();
    const QByteArray after = HeldBlock();
    EXPECT_EQ(QString::number(std::uint8_t(after[FindBlockField(148)->offset])), Choice(3)->valueAt(1));
    EXPECT_EQ(std::uint8_t(after[FindBlockField(149)->offset]), 200);
}

TEST_F(ParameterPageTest, AFailedOrCancelledWriteKeepsWhatTheUserEntered)
{
    ReadFromPack();
    const QByteArray before = HeldBlock();
    TypeValue(13, QStringLiteral("1.5"));
    m_answer = MessageBoxes::Answer::Cancel;
    ClickWrite();
    EXPECT_EQ(HeldBlock(), before);
    EXPECT_EQ(ShownValue(13), QStringLiteral("1.5"));
    // Not confirmed: the set read still counts.
    EXPECT_TRUE(Find<QPushButton>(QStringLiteral("BtnWriteParameter"))->isEnabled());

    m_answer = MessageBoxes::Answer::Ok;
    ReadFromPack();
    TypeValue(13, QStringLiteral("1.5"));
    SimulatedStore::AddFault(QStringLiteral("rtn:49:6"));
    ClickWrite();
    SharedSimBus()->clearFaults();
    // Code 6 may be a garbled answer too: the read-back shows it was not taken.
    EXPECT_EQ(LastText(), TTextOper().GetLanguageText(0x36B1) + QStringLiteral(": ") + TTextOper().GetErrorText(6));
    EXPECT_EQ(ShownValue(13), QStringLiteral("1.5"));
    EXPECT_FALSE(Find<QPushButton>(QStringLiteral("BtnWriteParameter"))->isEnabled());
    EXPECT_EQ(HeldBlock(), before);
}

TEST_F(ParameterPageTest, AnInvalidNumberInEdit1IsWarnedAboutAndLeavesTheCell)
{
    const QString old = ShownValue(13);
    TypeValue(13, QStringLiteral("1..5"));
    ASSERT_FALSE(m_boxes.isEmpty());
    EXPECT_EQ(m_boxes.last().icon, MessageBoxes::Icon::Warning);
    EXPECT_EQ(LastText(), TTextOper().GetLanguageText(0x710B));
    EXPECT_EQ(ShownValue(13), old);
    // The editor shows what a write would send, not the refused text.
    EXPECT_EQ(Find<QLineEdit>(QStringLiteral("Edit1"))->text(), old);
}

// A click on a value cell opens its editor also when the cell is already
// current (here after a read), and typed digits never move to another row:
// the typed number lands in the parameter clicked, and only there.
TEST_F(ParameterPageTest, ATypedValueLandsInTheParameterClicked)
{
    ReadFromPack();
    const QByteArray before = HeldBlock();
    ClickValueCell(12);
    TypeKeys(QStringLiteral("9"));
    ReadFromPack();
    ASSERT_EQ(Grid()->currentRow(), RowOf(12));
    // Typed into the grid itself: no search for a row starting with 3.
    QTest::keyClick(Grid(), Qt::Key_3);
    EXPECT_EQ(Grid()->currentRow(), RowOf(12));

    ClickValueCell(12);
    TypeKeys(QStringLiteral("3550"));
    ClickWrite();
    ASSERT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
    RParameter expected = Decoded(before);
    TParameterInfo::SetParameterInt(12, 3550, expected);
    EXPECT_EQ(Decoded(HeldBlock()), expected);
}

TEST_F(ParameterPageTest, APortThatIsClosedSendsNothing)
{
    m_sim.store->CloseSerial(1);
    m_page.BtnReadParameterClick();
    EXPECT_EQ(LastText(), TTextOper().GetLanguageText(0x3503));
    EXPECT_FALSE(Globals().ParametersRead.load());
}

// ---- Parameter files.

TEST_F(ParameterPageTest, AnExportInEnglishImportsInChineseWithTheSameValues)
{
    ReadFromPack();
    TypeValue(13, QStringLiteral("1.25"));
    TTextOper().SetLanguage(TTextOper::English);
    m_page.ApplyLanguage();
    m_chosenFile = m_files.filePath(QStringLiteral("pack.prt"));
    m_page.BtnExpParameterClick();
    EXPECT_EQ(m_dialogs.last().filter, QStringLiteral("Parameter|*.prt"));
    EXPECT_EQ(m_dialogs.last().folder, Globals().ParameterPath);
    EXPECT_EQ(LastText(), m_chosenFile + QStringLiteral("*****") + TTextOper().GetLanguageText(0x3504));
    const RParameter exported = m_page.CurrentSet();

    TTextOper().SetLanguage(TTextOper::SimplifiedChinese);
    Find<QCheckBox>(QStringLiteral("CheckBox100"))->setChecked(true);
    m_page.BtnImpParameterClick();
    EXPECT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
    EXPECT_FALSE(Find<QCheckBox>(QStringLiteral("CheckBox100"))->isChecked());
    for (const RParameterKind& entry : exported.Entries) {
        if (entry.Used == 1) {
            EXPECT_EQ(m_page.CurrentSet().Entries[entry.Id].Value, entry.Value) << int(entry.Id);
        }
    }
    EXPECT_EQ(ShownValue(13), QStringLiteral("1.25"));
}

// The file holds only catalogue entries; the block fields without one keep
// what the pack sent, so exporting, importing and writing changes nothing.
TEST_F(ParameterPageTest, AnExportedSetImportedAndWrittenLeavesThePackUnchanged)
{
    ReadFromPack();
    const QByteArray before = HeldBlock();
    m_chosenFile = m_files.filePath(QStringLiteral("same.prt"));
    m_page.BtnExpParameterClick();
    m_page.BtnImpParameterClick();
    ASSERT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
    ClickWrite();
    ASSERT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
    EXPECT_EQ(HeldBlock(), before);
}

TEST_F(ParameterPageTest, ExportingTheFreshSetStopsAtTheNodeNumberWithoutADialog)
{
    m_page.ShowParameters(m_sim.store->ParameterInfo().NewParameterSet(kPack));
    m_page.BtnExpParameterClick();
    EXPECT_TRUE(m_dialogs.isEmpty());
    EXPECT_EQ(LastText(), QStringLiteral("电池节数--超出范围！"));
    EXPECT_EQ(Grid()->currentRow(), RowOf(11));
}

// An import merges the file over what the page shows (the values read from
// the pack): only the ids it names change in the block a write then sends.
// A cancelled dialog or a file refused on any line changes nothing.
TEST_F(ParameterPageTest, AnImportChangesOnlyWhatTheFileNamesOrNothing)
{
    struct Case {
        const char* what;
        const char* file;   // nullptr: the dialog is cancelled
        std::vector<std::pair<std::uint8_t, int>> changes;
        int errorLine;      // 0: accepted
    };
    const Case cases[] = {
        {"cancelled", nullptr, {}, 0},
        {"two lines", "ID,Value\r\n012,9\r\n030,3601\r\n", {{12, 9}, {30, 3601}}, 0},
        {"header only", "ID,Value,Unit,Min,Max,Parameter\r\n", {}, 0},
        {"empty line in the middle", "h\r\n012,9.000\r\n\r\n030,3601\r\n", {}, 3},
        {"id above 254", "h\r\n012,9.000\r\n300,1.000\r\n", {}, 3},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        ReadFromPack();
        const QByteArray before = HeldBlock();
        m_boxes.clear();
        m_chosenFile.clear();
        if (test.file) {
            m_chosenFile = m_files.filePath(QStringLiteral("in.prt"));
            QFile file(m_chosenFile);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(test.file);
        }
        m_page.BtnImpParameterClick();
        if (!test.file) {
            EXPECT_TRUE(m_boxes.isEmpty());
        } else if (test.errorLine == 0) {
            EXPECT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
        } else {
            EXPECT_TRUE(LastText().startsWith(QStringLiteral("Line %1:").arg(test.errorLine)))
                << LastText().toStdString();
        }
        // The pack's stored set is not touched.
        EXPECT_EQ(m_sim.store->GetStoredParameters(kPack), Decoded(before));

        ClickWrite();
        ASSERT_EQ(LastText(), TTextOper().GetLanguageText(0x3504));
        RParameter expected = Decoded(before);
        for (const auto& [id, value] : test.changes)
            TParameterInfo::SetParameterInt(id, value, expected);
        EXPECT_EQ(Decoded(HeldBlock()), expected);
        if (test.changes.empty()) {
            EXPECT_EQ(HeldBlock(), before);
        }
    }
}

} // namespace
