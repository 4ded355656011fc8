// Page 0's "Report…" against bms-sim behind a pseudo-terminal, with the
// polling thread running: the dialog reads the packs on the bus worker and
// writes the report; Cancel writes nothing; bad input reads nothing.
#include "app_window_fixture.h"

#include "app/app_objects.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/report_texts.h"
#include "support/earlier_file.h"
#include "views/modal_run.h"
#include "views/report_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kReportWaitMs = 120000;

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

class ScopedReportHook {
public:
    explicit ScopedReportHook(TModalRun<TReportForm>::Hook hook)
        : m_previous(TModalRun<TReportForm>::SetHook(std::move(hook)))
    {
    }
    ~ScopedReportHook() { TModalRun<TReportForm>::SetHook(m_previous); }

private:
    TModalRun<TReportForm>::Hook m_previous;
};

QString PdfText(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    return process.waitForFinished(60000) ? QString::fromUtf8(process.readAllStandardOutput()) : QString();
}

} // namespace

TEST_F(MainWindowTest, ReportDialogWritesTheReportWhileTheWindowPolls)
{
    StartWindow({QStringLiteral("--fault"), QStringLiteral("silent:3")}, QStringLiteral("PackCount=3\nPackRead=1\n"));
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pdf = folder.filePath(QStringLiteral("rack.pdf"));
    int opened = 0;
    QString state;
    const ScopedReportHook hook([&](TReportForm& dialog) {
        ++opened;
        dialog.EditPacks->setText(QStringLiteral("all"));
        dialog.EditPdf->setText(pdf);
        dialog.CheckHtml->setChecked(true);
        dialog.CheckLogs->setChecked(false);
        QTest::mouseClick(dialog.BtnMake, Qt::LeftButton);
        EXPECT_TRUE(dialog.IsRunning());
        EXPECT_FALSE(dialog.BtnMake->isEnabled());
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsRunning(); }, kReportWaitMs));
        state = dialog.LabelReportState->text();
        EXPECT_EQ(dialog.ProgressReport->value(), 3);
    });

    // The port not open: said so, and no dialog.
    QTest::mouseClick(Find<QAbstractButton>("BtnReport"), Qt::LeftButton);
    EXPECT_EQ(opened, 0);
    ASSERT_EQ(m_boxes.size(), 1);
    EXPECT_EQ(m_boxes[0].text, Text(TextId::kPortNotOpen));

    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    m_boxes.clear();
    QTest::mouseClick(Find<QAbstractButton>("BtnReport"), Qt::LeftButton);
    ASSERT_EQ(opened, 1);
    EXPECT_TRUE(m_boxes.isEmpty());
    // Pack 3 is silent: saved, and said to be incomplete.
    EXPECT_EQ(state, Text(ReportText::kSavedIncomplete).arg(QStringLiteral("3"), QDir::toNativeSeparators(pdf)))
        << state.toStdString();
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("SIM48V100AH0001")));
    EXPECT_TRUE(text.contains(QStringLiteral("SIM48V100AH0002")));
    EXPECT_TRUE(text.contains(Text(ReportText::kNoAnswer)));
    EXPECT_TRUE(QFile::exists(folder.filePath(QStringLiteral("rack.html"))));
    EXPECT_TRUE(m_form->IsPolling());
}

TEST_F(MainWindowTest, ReportDialogCancelAndBadInputWriteNothing)
{
    StartWindow({}, QStringLiteral("PackCount=4\nPackRead=1\n"));
    ClickPortButton();
    ASSERT_TRUE(m_form->IsPolling());
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pdf = folder.filePath(QStringLiteral("rack.pdf"));
    ASSERT_TRUE(PlantEarlierFile(pdf));

    const ScopedReportHook hook([&](TReportForm& dialog) {
        dialog.EditPdf->setText(pdf);
        // A wrong pack list and a file in a missing folder: told, nothing started.
        dialog.EditPacks->setText(QStringLiteral("4-2"));
        QTest::mouseClick(dialog.BtnMake, Qt::LeftButton);
        EXPECT_FALSE(dialog.IsRunning());
        dialog.EditPacks->setText(QStringLiteral("1-4"));
        dialog.EditPdf->setText(folder.filePath(QStringLiteral("missing/rack.pdf")));
        QTest::mouseClick(dialog.BtnMake, Qt::LeftButton);
        EXPECT_FALSE(dialog.IsRunning());
        EXPECT_EQ(m_boxes.size(), 2);
        // A number that is no pack and no file is read as a pack meant.
        dialog.EditPdf->setText(pdf);
        dialog.EditReference->setText(QStringLiteral("17"));
        QTest::mouseClick(dialog.BtnMake, Qt::LeftButton);
        EXPECT_FALSE(dialog.IsRunning());
        ASSERT_EQ(m_boxes.size(), 3);
        EXPECT_EQ(m_boxes[2].text, QStringLiteral("17: ") + Text(ReportText::kNoPackNoFile).arg(QStringLiteral("17")));
        dialog.EditReference->clear();

        // Cancel while it reads: nothing written, the earlier file stays.
        dialog.EditPdf->setText(pdf);
        QTest::mouseClick(dialog.BtnMake, Qt::LeftButton);
        ASSERT_TRUE(dialog.IsRunning());
        QTest::mouseClick(dialog.BtnReportCancel, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !dialog.IsRunning(); }, kReportWaitMs));
        EXPECT_EQ(dialog.LabelReportState->text(), Text(ReportText::kCancelled));
        EXPECT_TRUE(dialog.BtnMake->isEnabled());
    });
    QTest::mouseClick(Find<QAbstractButton>("BtnReport"), Qt::LeftButton);
    QFile kept(pdf);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("earlier report"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("rack.pdf")}));
}
