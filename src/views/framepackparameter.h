#pragma once

// TFramePackParameter: the parameter page. One parameter set of the pack in
// focus: the listed numeric parameters in the grid "StringGrid1" (column 0,
// the id, hidden; values edited through the red overlay "Edit1"), four
// enumerated parameters in ComboBoxExt1..4 and the 42 switches in
// CheckBox1..42 inside GroupBox1..3. From it the user reads the set from the
// pack, writes it back (password and a fresh read required), restores the
// pack's defaults (CheckBox100) and carries sets in parameter files.
//
// The page only shows and collects: the catalogue, the block, the checks
// and the files are the parameter library's.
//
//   InitPage()             grid layout, selection boxes refilled at item 0,
//                          Edit1 hidden, write button enabled rule
//   ApplyLanguage()        captions and switch names in the current language
//   ShowParameters(set)    keeps a copy as the current set and shows it
//   CollectParameters(set) copies what the page shows into set
//   ShowPackInFocus()      shows the set stored for the pack in focus and
//                          says where it came from ("LabelSetOrigin")
//
// Write is offered only for a set read from the pack in focus, and only
// until that pack is written (here or by a batch write) or a read of it
// fails: the store keeps that mark per pack. The page's own flag rule (one
// flag for all packs) let a set of zeros, or another pack's old set, go to
// the pack chosen afterwards.
//
// User-interface thread only. Read and write run as jobs on the window's
// runner (TPageCommand); the page shows their result when they end.

#include "params/parameter_info.h"

#include <QDateTime>
#include <QFrame>

#include <array>
#include <cstdint>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TComboBoxExt;
class TBusWorker;
class TDevInfo;
class TPageCommand;
struct RVerifiedWrite;

class TFramePackParameter : public QFrame {
    Q_OBJECT
public:
    static constexpr int kSwitchBoxes = 42;
    static constexpr int kChoiceBoxes = 4;
    static constexpr int kGridColumns = 6;
    static constexpr int kValueColumn = 5;

    explicit TFramePackParameter(QWidget* parent = nullptr);

    // The store the page reads from and writes through; it must outlive the
    // page's use. Set before InitPage.
    void SetStore(TDevInfo* store) { m_store = store; }
    // The window's runner for pack commands (none: the page makes its own).
    void SetRunner(TBusWorker* runner);
    // Whether a read or write of this page waits for the pack.
    bool IsBusy() const;

    void InitPage();
    void ApplyLanguage();
    void ShowParameters(const RParameter& set);
    void CollectParameters(RParameter& set) const;
    // The set stored for the selected pack, as the window shows it on entry
    // and when another pack is chosen.
    void ShowPackInFocus();

    const RParameter& CurrentSet() const { return m_currentSet; }

    // ---- Handlers (public so the window and tests can run them).
    void BtnReadParameterClick();
    void BtnWriteParameterClick();
    void BtnImpParameterClick();
    void BtnExpParameterClick();
    // Opens the window that compares and writes the sets of many packs.
    void BtnComparePacksClick();
    // row is a data row of the grid (0 is the first parameter).
    void StringGrid1SelectCell(int row, int column);
    // A click on a cell, also on the one that is already current.
    void StringGrid1Click(int row, int column);
    void Edit1Exit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void FillChoiceBoxes();
    bool PortIsOpen();
    // Selects the row of the parameter, opens its value for editing and
    // says that it is out of range; false when nothing is refused. Checks
    // the ranges when checkRange is set, and always whether every value
    // fits the pack's block.
    bool RefuseParameter(const RParameter& set, bool checkRange);
    int RowOfParameter(std::uint8_t id) const;
    void UpdateWriteButton();
    // Whether the set on screen may be written to the pack in focus.
    bool SetIsWritable() const;
    void ShowSetOrigin();
    std::uint8_t NameLanguage() const;

    // The write's outcome shown once its job has ended.
    void ShowWriteOutcome(const RVerifiedWrite& written);

    TDevInfo* m_store = nullptr;
    TPageCommand* m_command = nullptr;
    RParameter m_currentSet;
    // When the set on screen was read from its pack (invalid: not read).
    QDateTime m_shownReadAt;
    // The grid row Edit1 edits (its tag), or -1.
    int m_edit1Tag = -1;
    bool m_inEdit1Exit = false;
    // Per selection box: it shows a value the set does not hold (no
    // selection, or "None" for an unlisted protocol) and the user has not
    // picked an item since, so collecting keeps the set's value.
    std::array<bool, kChoiceBoxes> m_unlistedShown{};

    QTableWidget* StringGrid1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    std::array<QGroupBox*, 5> m_groupBoxes{};    // GroupBox1..5
    std::array<QCheckBox*, kSwitchBoxes> m_switchBoxes{};
    std::array<TComboBoxExt*, kChoiceBoxes> m_choiceBoxes{};   // ComboBoxExt1..4
    std::array<QLabel*, 5> m_labels{};           // Label1..5
    QCheckBox* CheckBox100 = nullptr;
    QPushButton* BtnReadParameter = nullptr;
    QPushButton* BtnWriteParameter = nullptr;
    QPushButton* BtnImpParameter = nullptr;
    QPushButton* BtnExpParameter = nullptr;
    QPushButton* BtnComparePacks = nullptr;
    QLabel* LabelSetOrigin = nullptr;
};
