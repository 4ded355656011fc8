#include "views/compare_form.h"
#include "views/port_check.h"
#include "views/report_form.h"

#include "params/parameter_compare.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_texts.h"
#include "store/bus_worker.h"
#include "store/devinfo.h"
#include "store/pack_list.h"
#include "views/bus_summary_form.h"
#include "views/comboboxext.h"
#include "views/csv_export.h"
#include "views/file_dialogs.h"
#include "views/framepackparameter_table.h"
#include "views/family_view.h"
#include "views/message_boxes.h"
#include "views/modal_run.h"
#include "views/overview_layout.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Text(std::uint16_t id)
{
    return TTextOper().GetLanguageText(id);
}

std::uint8_t NameLanguage()
{
    return TTextOper::CurrentLanguage() == TTextOper::English ? 1 : 0;
}

// The parameter page's order: the grid's rows, the four choices, the switches.
std::vector<std::uint8_t> PageOrder(const RParameter& set)
{
    std::vector<std::uint8_t> ids;
    for (const RParameterKind& entry : set.Entries)
        if (entry.ListGroup > 0)
            ids.push_back(entry.Id);
    for (std::uint8_t id : ParameterPage::kChoiceIds)
        ids.push_back(id);
    for (const ParameterPage::SwitchBox& box : ParameterPage::kSwitchTable)
        ids.push_back(box.id);
    return ids;
}

// A value as the parameter page shows it: the choice's text for the four
// choices, the number otherwise.
QString ValueText(const RParameterKind& entry, Decimal value)
{
    for (const RParameterChoice& choice : TParameterInfo::ParameterChoices(entry.Id)) {
        if (Decimal::fromInt(choice.value) == value)
            return choice.textId != 0 ? Text(choice.textId) : QString::fromUtf8(choice.text);
    }
    return TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, value);
}

} // namespace

TCompareForm::TCompareForm(TDevInfo& store, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::WindowMaximizeButtonHint)
    , m_store(store)
    , m_worker(new TBusWorker(this))
{
    qRegisterMetaType<RParameterSets>();
    qRegisterMetaType<RBatchWriteReport>();
    setObjectName(QStringLiteral("CompareForm"));
    setModal(true);
    const auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    LabelPacks = new QLabel(this);
    EditPacks = new QLineEdit(QStringLiteral("1-%1").arg(Globals().PackCount.load()), this);
    named(EditPacks, "EditPacks");
    EditPacks->setMaximumWidth(140);
    LabelReference = new QLabel(this);
    ComboReference = new TComboBoxExt(this);
    named(ComboReference, "ComboReference");
    ComboReference->setMinimumWidth(160);
    BtnLoadReference = new QPushButton(this);
    named(BtnLoadReference, "BtnLoadReference");
    BtnReadPacks = new QPushButton(this);
    named(BtnReadPacks, "BtnReadPacks");
    BtnCancelCompare = new QPushButton(this);
    named(BtnCancelCompare, "BtnCancelCompare");
    ProgressCompare = new QProgressBar(this);
    named(ProgressCompare, "ProgressCompare");
    ProgressCompare->setFormat(QStringLiteral("%v / %m"));
    LabelCompareState = new QLabel(this);
    named(LabelCompareState, "LabelCompareState");
    CheckOnlyDifferences = new QCheckBox(this);
    named(CheckOnlyDifferences, "CheckOnlyDifferences");
    GridCompare = new QTableWidget(0, ColFirstPack, this);
    named(GridCompare, "GridCompare");
    GridCompare->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridCompare->verticalHeader()->hide();
    GridCompare->setMinimumSize(760, 420);
    BtnExportCompare = new QPushButton(this);
    named(BtnExportCompare, "BtnExportCompare");
    BtnWriteToPacks = new QPushButton(this);
    named(BtnWriteToPacks, "BtnWriteToPacks");

    auto* top = new QHBoxLayout;
    for (QWidget* widget : std::initializer_list<QWidget*>{LabelPacks, EditPacks, BtnReadPacks, BtnCancelCompare,
                                                           LabelReference, ComboReference, BtnLoadReference})
        top->addWidget(widget);
    top->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(CheckOnlyDifferences);
    bottom->addWidget(LabelCompareState, 1);
    bottom->addWidget(BtnExportCompare);
    bottom->addWidget(BtnWriteToPacks);
    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(ProgressCompare);
    column->addWidget(GridCompare, 1);
    column->addLayout(bottom);

    connect(BtnReadPacks, &QPushButton::clicked, this, &TCompareForm::BtnReadPacksClick);
    connect(BtnCancelCompare, &QPushButton::clicked, this, &TCompareForm::BtnCancelCompareClick);
    connect(BtnLoadReference, &QPushButton::clicked, this, &TCompareForm::BtnLoadReferenceClick);
    connect(ComboReference, &QComboBox::currentIndexChanged, this, &TCompareForm::ComboReferenceChange);
    connect(CheckOnlyDifferences, &QCheckBox::toggled, this, &TCompareForm::ShowRows);
    connect(BtnExportCompare, &QPushButton::clicked, this, &TCompareForm::BtnExportCompareClick);
    connect(BtnWriteToPacks, &QPushButton::clicked, this, &TCompareForm::BtnWriteToPacksClick);
    connect(m_worker, &TBusWorker::progressed, this, [this](int done, int total, const QString&) {
        ProgressCompare->setRange(0, total);
        ProgressCompare->setValue(done);
    });
    connect(m_worker, &TBusWorker::delivered, this, &TCompareForm::TakeResult);
    connect(m_worker, &TBusWorker::finished, this, &TCompareForm::JobFinished);
    ShowBusy(false);
    ApplyLanguage();
}

TCompareForm::~TCompareForm() = default;

void TCompareForm::ApplyLanguage()
{
    setWindowTitle(Text(BusText::kCompareTitle));
    LabelPacks->setText(Text(BusText::kPacks));
    LabelReference->setText(Text(BusText::kReference));
    BtnLoadReference->setText(Text(BusText::kLoadFile));
    BtnReadPacks->setText(Text(TextId::kRead));
    BtnCancelCompare->setText(Text(TextId::kCancel));
    CheckOnlyDifferences->setText(Text(BusText::kOnlyDifferences));
    BtnExportCompare->setText(Text(TextId::kExport));
    BtnWriteToPacks->setText(Text(BusText::kWriteToPacks));
    FillReferences();
    ShowRows();
}

void TCompareForm::Run()
{
    TModalRun<TCompareForm>::Run(*this);
}

void TCompareForm::done(int result)
{
    const bool writing = m_worker->isRunning() && m_writing;
    m_worker->cancel();
    m_worker->wait();
    if (writing) {
        // The packs written so far, and those not tried, are shown before
        // the window goes: the job's last result and its end are waiting
        // in the queue.
        m_closingDuringWrite = true;
        QCoreApplication::sendPostedEvents(m_worker, QEvent::MetaCall);
        m_closingDuringWrite = false;
    }
    QDialog::done(result);
}

void TCompareForm::ShowBusy(bool busy)
{
    m_busy = busy;
    BtnReadPacks->setEnabled(!busy);
    BtnCancelCompare->setEnabled(busy);
    BtnLoadReference->setEnabled(!busy);
    ComboReference->setEnabled(!busy);
    BtnWriteToPacks->setEnabled(!busy && Globals().PasswordOk && !m_sets.packs.empty());
    BtnWriteToPacks->setVisible(Globals().PasswordOk);
}

// ---- Reading.

void TCompareForm::BtnReadPacksClick()
{
    if (!PortReady(this, &m_store))
        return;
    QString error;
    const auto packs = ParsePackList(EditPacks->text(), Globals().PackCount.load(), &error);
    if (!packs) {
        MessageBoxes::Inform(this, Text(BusText::kBadPackList) + QLatin1Char(' ') + error);
        return;
    }
    // Another maker's pack keeps no parameter block of ours: it is left out.
    const RForeignScreen screen = ScreenForeignPacks(m_store, *packs);
    if (!screen.refusals.isEmpty())
        MessageBoxes::Inform(this, screen.refusals.join(QLatin1Char('\n')));
    if (screen.packs.empty())
        return;
    m_report.reset();
    m_writing = false;
    TDevInfo* store = &m_store;
    m_worker->start([store, packs = screen.packs](const TBusWorker::Job& job) {
        job.deliver(QVariant::fromValue(ReadParameterSets(*store, packs, job.control())));
    });
    ShowBusy(true);
}

void TCompareForm::BtnCancelCompareClick()
{
    m_worker->cancel();
}

void TCompareForm::TakeResult(const QVariant& value)
{
    if (value.canConvert<RParameterSets>()) {
        m_sets = value.value<RParameterSets>();
        FillReferences();
        ShowRows();
    } else if (value.canConvert<RBatchWriteReport>()) {
        m_report = value.value<RBatchWriteReport>();
        // The grid shows what each pack holds now, so that a second write
        // announces no change for a pack that took the first.
        for (const RPackWriteOutcome& outcome : m_report->packs) {
            if (!outcome.readBack)
                continue;
            for (RPackParameters& entry : m_sets.packs)
                if (entry.pack == outcome.pack && entry.result == 0)
                    entry.set = *outcome.readBack;
        }
        ShowRows();
    }
}

void TCompareForm::JobFinished()
{
    ShowBusy(false);
    if (m_report && m_writing)
        ShowSummary(*m_report);
    m_writing = false;
    emit jobDone();
}

// ---- The reference.

void TCompareForm::FillReferences()
{
    const QString chosen = ComboReference->selectedValue();
    const QSignalBlocker blocker(ComboReference);
    ComboReference->clearItems();
    for (const RPackParameters& entry : m_sets.packs)
        if (entry.result == 0)
            ComboReference->addItem(QStringLiteral("%1 %2").arg(Text(BusText::kPack)).arg(entry.pack),
                                    QString::number(entry.pack));
    if (!m_fileLines.empty())
        ComboReference->addItem(Text(BusText::kReferenceFile) + QStringLiteral(": ") + m_fileName, QStringLiteral("file"));
    // The reference pack chosen (or, at first, the first pack listed) that
    // could not be read is named, and no other pack silently takes its place.
    const QString wanted = !chosen.isEmpty() ? chosen
        : !m_sets.packs.empty()              ? QString::number(m_sets.packs.front().pack)
                                             : QString();
    m_unreadReference = 0;
    if (ComboReference->selectValue(wanted))
        return;
    if (const RPackParameters* entry = m_sets.find(std::uint8_t(wanted.toInt())); entry && entry->result != 0) {
        m_unreadReference = entry->pack;
        ComboReference->selectIndex(-1);
        return;
    }
    ComboReference->selectIndex(ComboReference->itemCount() > 0 ? 0 : -1);
}

void TCompareForm::BtnLoadReferenceClick()
{
    const QString path = FileDialogs::AskOpenFileName(
        this, {Text(BusText::kLoadFile), Globals().ParameterPath, QLatin1String(kParameterFileFilter),
               QLatin1String(kParameterFileExtension)});
    if (!path.isEmpty())
        LoadReferenceFile(path);
}

bool TCompareForm::LoadReferenceFile(const QString& path)
{
    const RReferenceFile loaded = ::LoadReferenceFile(path);
    if (loaded.fault != ReferenceFileFault::None) {
        MessageBoxes::Inform(this, ReferenceFileWarning(path, loaded));
        return false;
    }
    m_fileLines = loaded.reference.lines;
    m_fileName = loaded.reference.name;
    FillReferences();
    ComboReference->selectValue(QStringLiteral("file"));
    ShowRows();
    return true;
}

void TCompareForm::ComboReferenceChange()
{
    if (!ComboReference->selectedValue().isEmpty())
        m_unreadReference = 0;
    ShowRows();
}

RParameter TCompareForm::ReferenceSet() const
{
    const QString chosen = ComboReference->selectedValue();
    RParameter reference = m_store.ParameterInfo().NewParameterSet(0);
    if (chosen == u"file")
        ApplyParameterLines(m_fileLines, reference);
    else if (const RPackParameters* entry = m_sets.find(std::uint8_t(chosen.toInt())))
        reference = entry->set;
    return reference;
}

std::vector<std::uint8_t> TCompareForm::ReferenceIds() const
{
    std::vector<std::uint8_t> ids;
    if (ComboReference->selectedValue() == u"file")
        for (const RParameterFileLine& line : m_fileLines)
            ids.push_back(line.id);
    return ids;
}

// ---- The table.

void TCompareForm::ShowRows()
{
    std::vector<RPackParameters> read;
    for (const RPackParameters& entry : m_sets.packs)
        if (entry.result == 0)
            read.push_back(entry);
    const RParameter reference = ReferenceSet();
    const bool haveReference = !ComboReference->selectedValue().isEmpty();
    std::vector<RCompareRow> byId = haveReference ? CompareParameterSets(reference, ReferenceIds(), read)
                                                  : std::vector<RCompareRow>{};
    m_rows.clear();
    for (std::uint8_t id : PageOrder(reference)) {
        const auto found = std::find_if(byId.begin(), byId.end(), [id](const RCompareRow& row) { return row.id == id; });
        if (found != byId.end())
            m_rows.push_back(*found);
    }

    QStringList headers{Text(BusText::kId), Text(BusText::kParameter), Text(BusText::kReference)};
    for (const RPackParameters& entry : read)
        headers << QStringLiteral("%1 %2").arg(Text(BusText::kPack)).arg(entry.pack);
    GridCompare->clear();
    GridCompare->setColumnCount(int(headers.size()));
    GridCompare->setHorizontalHeaderLabels(headers);
    const bool onlyDifferences = CheckOnlyDifferences->isChecked();
    int shown = 0;
    GridCompare->setRowCount(int(m_rows.size()));
    for (const RCompareRow& row : m_rows) {
        if (onlyDifferences && !row.anyDiffers())
            continue;
        const RParameterKind& entry = reference.Entries[row.id];
        const auto put = [this, shown](int column, const QString& text, bool differs) {
            auto* item = new QTableWidgetItem(text);
            item->setBackground(ColorFromBgr(differs ? kDifferBgr : RowBackgroundBgr(shown + 1)));
            GridCompare->setItem(shown, column, item);
        };
        put(ColId, QString::number(row.id), false);
        put(ColName, TParameterInfo::GetParameterName(row.id, NameLanguage(), reference), false);
        put(ColReference, row.referenced ? ValueText(entry, entry.Value) : QString(), false);
        for (std::size_t k = 0; k < row.values.size(); ++k)
            put(ColFirstPack + int(k), ValueText(entry, row.values[k]), row.differs[k]);
        ++shown;
    }
    GridCompare->setRowCount(shown);
    GridCompare->resizeColumnsToContents();

    QStringList states;
    if (m_unreadReference != 0)
        states << Text(BusText::kReferenceNotRead).arg(m_unreadReference);
    if (haveReference)
        states << QStringLiteral("%1: %2").arg(Text(BusText::kDifferences)).arg(DifferenceCount());
    if (haveReference && !ReferenceIds().empty())
        states << Text(BusText::kFileIdsCompared).arg(ReferenceIds().size());
    const QString notRead = NotReadPacksText();
    if (!notRead.isEmpty())
        states << Text(BusText::kNotRead) + QStringLiteral(": ") + notRead;
    LabelCompareState->setText(states.join(QStringLiteral("   ")));
}

QString TCompareForm::NotReadPacksText() const
{
    const TTextOper texts;
    QStringList packs;
    for (const RPackParameters& entry : m_sets.packs)
        if (entry.result != 0)
            packs << QStringLiteral("%1 (%2)").arg(entry.pack).arg(NotReadText(entry, texts));
    return packs.join(QStringLiteral(", "));
}

int TCompareForm::DifferenceCount() const
{
    return int(std::count_if(m_rows.begin(), m_rows.end(), [](const RCompareRow& row) { return row.anyDiffers(); }));
}

QStringList TCompareForm::CsvLine(int line) const
{
    QStringList cells;
    for (int column = 0; column < GridCompare->columnCount(); ++column) {
        if (line == 0) {
            cells << GridCompare->horizontalHeaderItem(column)->text();
        } else {
            const QTableWidgetItem* item = GridCompare->item(line - 1, column);
            cells << (item ? item->text() : QString());
        }
    }
    return cells;
}

void TCompareForm::BtnExportCompareClick()
{
    ExportGridToCsv(this, GridCompare->rowCount() + 1, [this](int line) { return CsvLine(line); }, Globals().AppPath);
}

// ---- Writing to many packs.

std::optional<RParameterSource> TCompareForm::Source() const
{
    RParameterSource source;
    const QString chosen = ComboReference->selectedValue();
    if (chosen.isEmpty())
        return std::nullopt;
    if (chosen == u"file")
        source.lines = m_fileLines;
    else
        source.set = ReferenceSet();
    return source;
}

std::vector<std::uint8_t> TCompareForm::WriteTargets() const
{
    const QString chosen = ComboReference->selectedValue();
    std::vector<std::uint8_t> packs;
    for (const RPackParameters& entry : m_sets.packs)
        if (entry.result == 0 && QString::number(entry.pack) != chosen)
            packs.push_back(entry.pack);
    return packs;
}

void TCompareForm::BtnWriteToPacksClick()
{
    if (!Globals().PasswordOk)
        return;
    if (!PortReady(this, &m_store))
        return;
    const std::optional<RParameterSource> source = Source();
    const std::vector<std::uint8_t> packs = WriteTargets();
    if (!source || packs.empty())
        return;
    // The question names each pack with the fields that will change on it,
    // as its set was read for the table.
    QStringList lines{Text(BusText::kConfirmBatch), Text(BusText::kFieldsWillChange)};
    for (std::uint8_t pack : packs) {
        const RParameter& own = m_sets.find(pack)->set;
        lines << QStringLiteral("%1 %2: %3")
                     .arg(Text(BusText::kPack))
                     .arg(pack)
                     .arg(DifferingParameters(own, TargetParameterSet(own, *source)).size());
    }
    if (const QString notRead = NotReadPacksText(); !notRead.isEmpty())
        lines << Text(BusText::kPacksNotWritten) << notRead;
    if (MessageBoxes::Ask(this, lines.join(QLatin1Char('\n'))) != MessageBoxes::Answer::Ok)
        return;
    m_report.reset();
    m_writing = true;
    TDevInfo* store = &m_store;
    const std::uint8_t language = NameLanguage();
    m_worker->start([store, packs, source = *source, language](const TBusWorker::Job& job) {
        job.deliver(QVariant::fromValue(WriteParameterSets(*store, packs, source, language, job.control())));
    });
    ShowBusy(true);
}

void TCompareForm::ShowSummary(const RBatchWriteReport& report)
{
    const TTextOper texts;
    std::vector<TBusSummaryForm::Row> rows;
    for (const RPackWriteOutcome& outcome : report.packs)
        rows.push_back({{QString::number(outcome.pack), BatchStepText(outcome, texts),
                         QString::number(outcome.ok() ? outcome.changedIds.size() : 0)},
                        outcome.ok()});
    for (std::uint8_t pack : report.notDone)
        rows.push_back({{QString::number(pack), ReachText(report.loop.reachOf(pack), texts), QStringLiteral("0")}, false});
    // The packs of the table that could not be read were not written either.
    for (const RPackParameters& entry : m_sets.packs)
        if (entry.result != 0)
            rows.push_back({{QString::number(entry.pack),
                             Text(BusText::kNotReadNothingWritten) + QStringLiteral(": ") + NotReadText(entry, texts),
                             QStringLiteral("0")},
                            false});
    const QString title = m_closingDuringWrite ? Text(BusText::kClosedDuringWrite) : Text(BusText::kBatchSummary);
    TBusSummaryForm summary(title,
                            {Text(BusText::kPack), Text(BusText::kResult), Text(BusText::kFieldsChanged)}, rows, this);
    summary.Run();
}
