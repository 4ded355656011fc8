// The window's bus scan against bms-sim with packs 1, 2 and 5 present:
// what it finds and the pack count it offers, the port not open, Cancel in
// the middle, a close while it runs and a bus where nobody answers.

#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/devinfo.h"
#include "views/scan_form.h"

#include <QLineEdit>
#include <QTableWidget>

namespace {

// Each silent address is asked in every family's request form.
constexpr int kScanWaitMs = 150000;

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

// Packs 3 and 4 never answer; 6 and above do not exist.
QStringList PacksOneTwoFive()
{
    return {QStringLiteral("--packs"), QStringLiteral("5"), QStringLiteral("--fault"), QStringLiteral("silent:3"),
            QStringLiteral("--fault"), QStringLiteral("silent:4")};
}

QTableWidget* Table(TScanForm& dialog)
{
    return dialog.findChild<QTableWidget*>(QStringLiteral("TableScan"));
}

// The highest address the link has asked for its live values (the scan
// asks every address so, in each family's form).
int HighestAskedAddress()
{
    int highest = 0;
    for (const RTrafficRecord& record : GlobalDevInfo()->DevOper().Traffic().Since(0))
        if (record.cid2 == 0x42)
            highest = std::max(highest, int(record.address));
    return highest;
}

// Runs the hook as the modal loop of every scan dialog opened meanwhile.
class ScopedScanHook {
public:
    explicit ScopedScanHook(TScanForm::ExecHook hook) : m_previous(TScanForm::SetExecHook(std::move(hook))) {}
    ~ScopedScanHook() { TScanForm::SetExecHook(m_previous); }

private:
    TScanForm::ExecHook m_previous;
};

} // namespace

TEST_F(MainWindowTest, ScanListsThePacksThatAnswerAndSetsThePackCount)
{
    StartWindow(PacksOneTwoFive(), QStringLiteral("PackCount=1\nPackRead=1\n"));
    QStringList rows;
    int opened = 0;
    const ScopedScanHook hook([&](TScanForm& dialog) {
        ++opened;
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsScanning(); }, kScanWaitMs));
        EXPECT_EQ(dialog.Entries().size(), std::size_t(kMaxPacks));
        QTableWidget* table = Table(dialog);
        for (int row = 0; row < table->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < TScanForm::ColCount; ++column)
                cells.append(table->item(row, column)->text());
            rows.append(cells.join(QLatin1Char(' ')));
        }
    });

    // The port not open: said so, and no scan.
    QTest::mouseClick(Find<QAbstractButton>("BtnScan"), Qt::LeftButton);
    EXPECT_EQ(opened, 0);
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes[0].text, Text(TextId::kPortNotOpen));

    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    m_boxes.clear();
    QTest::mouseClick(Find<QAbstractButton>("BtnScan"), Qt::LeftButton);
    ASSERT_EQ(opened, 1);
    ASSERT_EQ(rows.size(), 3) << rows.join(QLatin1Char('\n')).toStdString();
    for (int i = 0; i < 3; ++i) {
        const QString address = QString::number(i == 2 ? 5 : i + 1);
        const QStringList cells = rows[i].split(QLatin1Char(' '));
        EXPECT_EQ(cells[TScanForm::ColAddress], address);
        EXPECT_TRUE(cells[TScanForm::ColBarCode].startsWith(QStringLiteral("SIM")));
        EXPECT_GT(cells[TScanForm::ColVersion].toInt(), 0);
        EXPECT_EQ(cells[TScanForm::ColPackNumber], address);
        EXPECT_EQ(cells[TScanForm::ColFamily], QStringLiteral("ours"));
    }
    // The yes to the offer sets the pack count as the pack-count field does.
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes[0].text, Text(TextId::kScanSetPackCount).arg(QStringLiteral("1, 2, 5")).arg(5));
    EXPECT_EQ(Find<QLineEdit>("Edit2")->text(), QStringLiteral("5"));
    EXPECT_EQ(Globals().PackCount.load(), 5);
    EXPECT_EQ(Setting("PackCount"), QStringLiteral("5"));
}

TEST_F(MainWindowTest, ScanStopsAfterTheAddressAskedWhenCancelledOrClosed)
{
    StartWindow(PacksOneTwoFive(), QStringLiteral("PackCount=1\nPackRead=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());

    // Cancel once pack 2 is listed: the address under way when it was
    // clicked is the last one asked, and what was found is offered.
    int askedAtCancel = 0;
    int lastScanned = 0;
    std::vector<RScanEntry> found;
    {
        const ScopedScanHook hook([&](TScanForm& dialog) {
            ASSERT_TRUE(WaitFor([&] { return Table(dialog)->rowCount() >= 2; }, kScanWaitMs));
            askedAtCancel = HighestAskedAddress();
            QTest::mouseClick(dialog.findChild<QAbstractButton*>(QStringLiteral("BtnScanCancel")), Qt::LeftButton);
            ASSERT_TRUE(WaitFor([&] { return !dialog.IsScanning(); }, kScanWaitMs));
            lastScanned = dialog.Entries().back().address;
            found = dialog.Entries();
            EXPECT_EQ(dialog.findChild<QAbstractButton*>(QStringLiteral("BtnScanCancel"))->text(),
                      Text(TextId::kScanClose));
        });
        QTest::mouseClick(Find<QAbstractButton>("BtnScan"), Qt::LeftButton);
    }
    EXPECT_GE(askedAtCancel, 2);
    EXPECT_LE(lastScanned, askedAtCancel + 1);
    EXPECT_LT(lastScanned, kMaxPacks);
    EXPECT_EQ(HighestAskedAddress(), lastScanned);
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes[0].text, Text(TextId::kScanSetPackCount)
                                   .arg(lastScanned >= 5 ? QStringLiteral("1, 2, 5") : QStringLiteral("1, 2"))
                                   .arg(HighestAnswered(found)));
    m_boxes.clear();

    // Closed while it scans: the close waits for the scan thread.
    {
        const ScopedScanHook hook([](TScanForm&) {});
        TScanForm dialog(*GlobalDevInfo(), RScanRange{}, m_form.get());
        dialog.Run();
        EXPECT_FALSE(dialog.IsScanning());
        EXPECT_LT(dialog.Entries().size(), std::size_t(kMaxPacks));
    }
    EXPECT_TRUE(m_boxes.isEmpty());

    // Nobody answers at 3 and 4: said so.
    {
        const ScopedScanHook hook(
            [&](TScanForm& dialog) { ASSERT_TRUE(WaitFor([&] { return !dialog.IsScanning(); }, kScanWaitMs)); });
        TScanForm dialog(*GlobalDevInfo(), RScanRange{3, 4, 100}, m_form.get());
        dialog.Run();
    }
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes[0].text, Text(TextId::kScanNoneAnswered).arg(3).arg(4));
}
