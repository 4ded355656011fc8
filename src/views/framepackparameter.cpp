#include "views/framepackparameter.h"

#include "params/parameter_block.h"
#include "params/parameter_commands.h"
#include "params/parameter_file.h"
#include "services/settings.h"
#include "services/text_ids.h"
#include "services/textoper.h"
#include "store/bus_jobs.h"
#include "store/bus_texts.h"
#include "store/devinfo.h"
#include "views/comboboxext.h"
#include "views/compare_form.h"
#include "views/file_dialogs.h"
#include "views/framepackparameter_table.h"
#include "views/message_boxes.h"
#include "views/page_command.h"
#include "views/overview_grid.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

using namespace ParameterPage;

namespace {

constexpr std::uint16_t kConfirmWrite = 0x7109;
constexpr std::uint16_t kOutOfRange = 0x710A;
constexpr std::uint16_t kInvalidNumber = 0x710B;
constexpr std::uint16_t kSetReadFrom = 0x36B6;
constexpr std::uint16_t kSetNeverRead = 0x36B7;
constexpr std::uint16_t kSetStale = 0x36B8;
constexpr std::uint16_t kSetFromOtherPack = 0x36B9;

bool IsEditKey(const QString& text)
{
    // Control characters (backspace, Enter) pass; of the printable ones
    // only what a number is written with.
    if (text.isEmpty() || !text.front().isPrint())
        return true;
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('.'); });
}

// Paints the grid's cells through the overview grids' painter (row colours,
// centred text, names right-aligned 5 pixels from the edge).
QTableWidgetItem* NewCell(int row, int column, const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    // Data row r is row r + 1 of the grid, whose header is row 0.
    item->setBackground(ColorFromBgr(RowBackgroundBgr(row + 1)));
    item->setForeground(ColorFromBgr(kBgrBlack));
    const CellAlign align = column == 1 ? CellAlign::RightWithMargin : CellAlign::Centre;
    item->setData(OverviewGridModel::kCellAlignRole, static_cast<int>(align));
    return item;
}

} // namespace

// ---- Showing and collecting.

void TFramePackParameter::ShowParameters(const RParameter& set)
{
    m_currentSet = set;
    // An open editor would write its old text over the new value. Hidden
    // while it has the focus, it would pass the focus on as Tab does, and
    // the grid would move its current cell to the next row.
    if (Edit1->hasFocus())
        StringGrid1->setFocus(Qt::OtherFocusReason);
    Edit1->hide();
    m_edit1Tag = -1;

    const std::uint8_t language = NameLanguage();
    const TTextOper texts;
    int rows = 0;
    for (const RParameterKind& entry : set.Entries)
        rows += entry.ListGroup > 0 ? 1 : 0;
    const QSignalBlocker blocker(StringGrid1);
    StringGrid1->setRowCount(rows);
    int row = 0;
    QString widestName;
    for (const RParameterKind& entry : set.Entries) {
        if (entry.ListGroup == 0)
            continue;
        if (StringGrid1->fontMetrics().horizontalAdvance(entry.Names[language])
            > StringGrid1->fontMetrics().horizontalAdvance(widestName))
            widestName = entry.Names[language];
        const bool ranged = entry.ShowRange == 1;
        const std::array<QString, kGridColumns> cells = {
            QString::number(entry.Id),
            entry.Names[language],
            texts.GetUnitText(entry.UnitCode),
            ranged ? TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.MinValue) : QString(),
            ranged ? TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.MaxValue) : QString(),
            TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.Value),
        };
        for (int column = 0; column < kGridColumns; ++column)
            StringGrid1->setItem(row, column, NewCell(row, column, cells[std::size_t(column)]));
        ++row;
    }
    // The longest English names need a little more than the name column's
    // 290 pixels.
    SetFittingColumnWidth(StringGrid1, 1, kNameColumnWidth, widestName);

    for (int box = 0; box < kChoiceBoxes; ++box) {
        TComboBoxExt* combo = m_choiceBoxes[std::size_t(box)];
        const QString value = QString::number(TParameterInfo::GetParameterInt(kChoiceIds[std::size_t(box)], set));
        const bool listed = combo->selectValue(value);
        if (!listed)
            combo->selectIndex(box >= kFirstProtocolBox ? 0 : -1);
        // "None" stands in for a protocol the list does not hold; until the
        // user picks an item, the pack's own value is written back.
        m_unlistedShown[std::size_t(box)] = !listed;
    }
    for (std::size_t k = 0; k < kSwitchTable.size(); ++k)
        m_switchBoxes[k]->setChecked(TParameterInfo::GetParameterFlag(kSwitchTable[k].id, set));
}

void TFramePackParameter::CollectParameters(RParameter& set) const
{
    for (int row = 0; row < StringGrid1->rowCount(); ++row) {
        const QTableWidgetItem* idCell = StringGrid1->item(row, 0);
        const QTableWidgetItem* valueCell = StringGrid1->item(row, kValueColumn);
        if (!idCell || !valueCell)
            continue;
        const QString text = valueCell->text().trimmed();
        if (text.isEmpty())
            continue;
        if (const std::optional<Decimal> value = Decimal::parse(text))
            TParameterInfo::SetParameterValue(idCell->text().toInt(), set, *value);
    }
    for (int box = 0; box < kChoiceBoxes; ++box) {
        // A box that shows a value the pack did not report (nothing, or
        // "None" for an unlisted protocol) keeps the value the set holds
        // rather than sending 0, until the user picks an item.
        if (m_unlistedShown[std::size_t(box)])
            continue;
        bool ok = false;
        const int value = m_choiceBoxes[std::size_t(box)]->selectedValue().toInt(&ok);
        if (ok)
            TParameterInfo::SetParameterInt(kChoiceIds[std::size_t(box)], value, set);
    }
    for (std::size_t k = 0; k < kSwitchTable.size(); ++k)
        TParameterInfo::SetParameterFlag(kSwitchTable[k].id, m_switchBoxes[k]->isChecked(), set);
}

// ---- Editing a value.

void TFramePackParameter::StringGrid1SelectCell(int row, int column)
{
    if (column != kValueColumn || row < 0 || row >= StringGrid1->rowCount()) {
        Edit1->hide();
        return;
    }
    // Hiding a focused editor ends its edit first (Edit1Exit).
    Edit1->hide();
    const QTableWidgetItem* cell = StringGrid1->item(row, column);
    StringGrid1->scrollToItem(cell);
    Edit1->setGeometry(StringGrid1->visualItemRect(cell));
    Edit1->setText(cell ? cell->text() : QString());
    m_edit1Tag = row;
    Edit1->show();
    Edit1->setFocus();
    Edit1->selectAll();
}

void TFramePackParameter::Edit1Exit()
{
    if (m_inEdit1Exit || m_edit1Tag < 0)
        return;
    const QString text = Edit1->text().trimmed();
    if (text.isEmpty())
        return;
    m_inEdit1Exit = true;
    if (!Decimal::parse(text)) {
        MessageBoxes::Warn(this, Text(kInvalidNumber));
        // The editor shows again what the cell holds, and so what a write
        // would send.
        if (const QTableWidgetItem* cell = StringGrid1->item(m_edit1Tag, kValueColumn))
            Edit1->setText(cell->text());
        Edit1->selectAll();
    } else if (QTableWidgetItem* cell = StringGrid1->item(m_edit1Tag, kValueColumn)) {
        cell->setText(Edit1->text());
    }
    m_inEdit1Exit = false;
}

void TFramePackParameter::StringGrid1Click(int row, int column)
{
    // A click on the value cell that is already current changes no cell, so
    // only the click itself can open its editor.
    if (column == kValueColumn && (Edit1->isHidden() || m_edit1Tag != row))
        StringGrid1SelectCell(row, column);
}

bool TFramePackParameter::eventFilter(QObject* watched, QEvent* event)
{
    // No keyboard search in the grid: a typed digit would move the current
    // cell to the row whose value starts with it, and the rest of the number
    // would land in that parameter. Navigation and shortcut keys still work.
    if (watched == StringGrid1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty() && key->text().front().isPrint()
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            return true;
    }
    if (watched == Edit1) {
        if (event->type() == QEvent::FocusOut) {
            Edit1Exit();
        } else if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Edit1Exit();
                return true;
            }
            // Edit1KeyPress: only what a number is written with.
            if (!IsEditKey(key->text()))
                return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

// ---- Buttons.

bool TFramePackParameter::PortIsOpen()
{
    return m_command->CheckPort(m_store);
}

bool TFramePackParameter::SetIsWritable() const
{
    const std::uint8_t pack = Globals().SelectedPack;
    if (pack == 0 || m_currentSet.PackNumber != pack || !m_shownReadAt.isValid())
        return false;
    // A read by any window since (the compare window's) would make the set
    // on screen older than the pack's: only the set of the last read counts.
    const RParameterReadMark mark = m_store->ParametersReadMark(pack);
    return mark.writable && mark.readAt == m_shownReadAt;
}

void TFramePackParameter::UpdateWriteButton()
{
    const AppGlobals& globals = Globals();
    // While a command runs every button stays off; its end sets this again.
    BtnWriteParameter->setEnabled(globals.PasswordOk && m_store && SetIsWritable() && !IsBusy());
    ShowSetOrigin();
}

void TFramePackParameter::ShowSetOrigin()
{
    if (!LabelSetOrigin || !m_store)
        return;
    const std::uint8_t focus = Globals().SelectedPack;
    const std::uint8_t shown = m_currentSet.PackNumber;
    QString text;
    if (shown != focus && shown != 0 && m_shownReadAt.isValid())
        text = Text(kSetFromOtherPack).arg(shown).arg(focus);
    else if (!m_shownReadAt.isValid())
        text = Text(kSetNeverRead).arg(focus);
    else
        text = Text(kSetReadFrom).arg(shown).arg(m_shownReadAt.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    if (m_shownReadAt.isValid() && !SetIsWritable() && shown == focus)
        text += QStringLiteral("\n") + Text(kSetStale);
    LabelSetOrigin->setText(text);
}

void TFramePackParameter::ShowPackInFocus()
{
    if (!m_store)
        return;
    const std::uint8_t pack = Globals().SelectedPack;
    m_shownReadAt = m_store->ParametersReadMark(pack).readAt;
    ShowParameters(m_store->GetStoredParameters(pack));
    UpdateWriteButton();
}

int TFramePackParameter::RowOfParameter(std::uint8_t id) const
{
    const QString text = QString::number(id);
    for (int row = 0; row < StringGrid1->rowCount(); ++row) {
        if (const QTableWidgetItem* cell = StringGrid1->item(row, 0); cell && cell->text() == text)
            return row;
    }
    return -1;
}

bool TFramePackParameter::RefuseParameter(const RParameter& set, bool checkRange)
{
    std::optional<std::uint8_t> refused;
    if (checkRange) {
        if (const std::optional<RParameterKind> entry = TParameterInfo::FirstOutOfRange(set))
            refused = entry->Id;
    }
    // A value the block cannot carry would be cut to its low bits on the
    // wire; the pack must never see it.
    if (!refused)
        refused = FindUnfitParameter(set);
    if (!refused)
        return false;
    const int row = RowOfParameter(*refused);
    if (row >= 0) {
        StringGrid1->setCurrentCell(row, kValueColumn);
        // Selecting the cell that is already current selects nothing new.
        if (m_edit1Tag != row || Edit1->isHidden())
            StringGrid1SelectCell(row, kValueColumn);
    }
    QString name = set.Entries[*refused].Names[NameLanguage()];
    if (name.isEmpty())
        name = QString::number(*refused);
    MessageBoxes::Inform(this, name + QStringLiteral("--") + Text(kOutOfRange));
    return true;
}

void TFramePackParameter::SetRunner(TBusWorker* runner)
{
    m_command->SetRunner(runner);
}

bool TFramePackParameter::IsBusy() const
{
    return m_command->IsBusy();
}

void TFramePackParameter::BtnReadParameterClick()
{
    if (!PortIsOpen())
        return;
    const AppGlobals& globals = Globals();
    const std::uint8_t address = globals.SelectedAddress;
    const std::uint8_t pack = globals.SelectedPack;
    // The catalogue belongs to this thread: the blank set is made here.
    m_command->Read<RParameter>(
        m_store, m_store->ParameterInfo().NewParameterSet(pack),
        [address, pack](TDevInfo& store, RParameter& set) { return store.ReadParameters(address, pack, set); },
        [this, pack](std::uint8_t result, const RParameter& set) {
            AppGlobals& shared = Globals();
            if (result != 0) {
                shared.ParametersRead = false;
                m_store->MarkParametersUnread(pack);
                UpdateWriteButton();
                MessageBoxes::Inform(this, m_command->ResultText(result));
            } else {
                m_shownReadAt = QDateTime::currentDateTime();
                ShowParameters(set);
                m_store->StoreParameters(set);
                m_store->MarkParametersRead(pack, m_shownReadAt);
                shared.ParametersRead = true;
                UpdateWriteButton();
                MessageBoxes::Inform(this, Text(TextId::kOperationSucceeded));
            }
        });
}

void TFramePackParameter::BtnWriteParameterClick()
{
    if (!PortIsOpen())
        return;
    // The button may still be enabled for a moment after the pack in
    // focus changed: the set must be this pack's own.
    if (!SetIsWritable()) {
        UpdateWriteButton();
        return;
    }
    const std::uint8_t pack = Globals().SelectedPack;
    const bool restore = CheckBox100->isChecked();
    CollectParameters(m_currentSet);
    if (RefuseParameter(m_currentSet, !restore))
        return;
    if (MessageBoxes::Ask(this, Text(kConfirmWrite)) != MessageBoxes::Answer::Ok) {
        UpdateWriteButton();
        return;
    }
    // A set imported from a file carries no values for the block fields
    // that have no catalogue entry: those keep what the pack said last.
    const RParameter before = m_store->GetStoredParameters(pack);
    const RParameter toSend = MergeForWrite(before, m_currentSet);
    // A lost or garbled answer is settled by reading the block back.
    m_command->Run<RVerifiedWrite>(
        m_store,
        [pack, before, toSend, restore](TDevInfo& store) {
            return WriteParametersVerified(store, pack, before, toSend, restore);
        },
        [this](const RVerifiedWrite& written) { ShowWriteOutcome(written); });
}

void TFramePackParameter::ShowWriteOutcome(const RVerifiedWrite& written)
{
    if (written.readBackResult == 0 && written.verdict != RWriteVerdict::NotWritten) {
        // What the pack holds now; the next write needs a new read.
        m_shownReadAt = QDateTime::currentDateTime();
        ShowParameters(written.readBack);
    }
    // Confirmed: whatever the outcome, the next write needs a new read.
    Globals().ParametersRead = false;
    UpdateWriteButton();
    switch (written.verdict) {
    case RWriteVerdict::Written:
        CheckBox100->setChecked(false);
        MessageBoxes::Inform(this, Text(TextId::kOperationSucceeded));
        break;
    case RWriteVerdict::WrittenAnswerLost:
        CheckBox100->setChecked(false);
        MessageBoxes::Inform(this, Text(BusText::kWrittenAnswerLost));
        break;
    case RWriteVerdict::NotWritten:
        MessageBoxes::Inform(this, Text(BusText::kNotWrittenAnswerLost) + QStringLiteral(": ")
                                       + m_command->ResultText(written.writeResult));
        break;
    case RWriteVerdict::Failed:
        MessageBoxes::Inform(this, m_command->ResultText(written.writeResult));
        break;
    case RWriteVerdict::Unverified:
        // Without a sound answer and without a read-back, the write's own
        // result is all there is to say.
        if (written.writeResult != 0 && written.readBackResult != 0)
            MessageBoxes::Inform(this, m_command->ResultText(written.writeResult));
        else
            MessageBoxes::Inform(this, Text(BusText::kVerifyFailed) + QStringLiteral(": ")
                                           + (written.readBackResult != 0
                                                  ? m_command->ResultText(written.readBackResult)
                                                  : QString::number(written.mismatchIds.size())));
        break;
    }
}

// ---- Parameter files.

void TFramePackParameter::BtnImpParameterClick()
{
    const AppGlobals& globals = Globals();
    const QString path = FileDialogs::AskOpenFileName(
        this, {Text(kButtonCaptions[2].textId), globals.ParameterPath, QLatin1String(kParameterFileFilter),
               QLatin1String(kParameterFileExtension)});
    if (path.isEmpty())
        return;
    // The file is read whole and checked first, so that a file that fails
    // on any line changes nothing. Then, as "params write" of the command
    // line does, only the ids it names change what the page shows (the
    // values read from the pack and what the user typed since): a partial
    // file must never leave the rest at 0.
    RParameter probe = m_store->ParameterInfo().NewParameterSet(globals.SelectedPack);
    const RParameterFileResult result = ImportParameterFile(path, probe);
    if (!result.ok) {
        MessageBoxes::Inform(this, result.errorText);
        return;
    }
    RParameter merged = m_currentSet;
    CollectParameters(merged);
    ApplyParameterLines(result.applied, merged);
    ShowParameters(merged);
    CheckBox100->setChecked(false);
    MessageBoxes::Inform(this, Text(TextId::kOperationSucceeded));
}

void TFramePackParameter::BtnExpParameterClick()
{
    CollectParameters(m_currentSet);
    // A file that holds a value the block cannot carry could not be
    // imported again, so export refuses it as writing does.
    if (RefuseParameter(m_currentSet, true))
        return;
    const AppGlobals& globals = Globals();
    const QString path = FileDialogs::AskSaveFileName(
        this, {Text(kButtonCaptions[3].textId), globals.ParameterPath, QLatin1String(kParameterFileFilter),
               QLatin1String(kParameterFileExtension)});
    if (path.isEmpty())
        return;
    RParameterFileTexts texts;
    for (std::size_t k = 0; k < texts.header.size(); ++k)
        texts.header[k] = Text(kParameterFileHeaderTextIds[k]);
    texts.language = NameLanguage();
    texts.unitText = [](std::uint8_t unitCode) { return TTextOper().GetUnitText(unitCode); };
    const RParameterFileResult result = ExportParameterFile(path, m_currentSet, texts);
    if (!result.ok) {
        MessageBoxes::Inform(this, result.errorText);
        return;
    }
    MessageBoxes::Inform(this, path + QStringLiteral("*****") + Text(TextId::kOperationSucceeded));
}

void TFramePackParameter::BtnComparePacksClick()
{
    TCompareForm form(*m_store, this);
    form.Run();
}
