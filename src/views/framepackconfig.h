#pragma once

// TFramePackConfig: the configuration page. One-shot maintenance commands
// to the pack selected in the main window: the pack's clock, its recording
// window and interval, erasing its two logs, its capacities, cycle count,
// the number of packs on the bus and its bar code (left column); six
// calibration rows and the seven product texts (right column).
//
//   InitPage()        fields emptied, Edit1 "60", pickers reset, sensor list
//                     filled, write controls shown only with PasswordOk
//   ApplyLanguage()   captions in the current language
//   ShowValueOrigins() in each read-then-write group (recording window,
//                     capacities, pack count, bar code, product texts) a
//                     note when its values came from another pack than the
//                     one in focus, so that writing them is a visible choice
//
// Every handler follows one pattern: port check, inputs in order (a value
// the pack could only get wrapped or cut is refused here), a question for
// writes with Cancel as the default, one command through the store, then
// the error text of the result or "operation succeeded". The store's link
// lock keeps each exchange whole against a polling cycle still finishing.
//
// User-interface thread only. The one command of a click runs as a job on
// the window's runner (TPageCommand); its result is shown when it ends.

#include "protocol/decimal.h"
#include "protocol/records.h"

#include <QFrame>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QDateEdit;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;
class TBusWorker;
class TComboBoxExt;
class TDevInfo;
class TPageCommand;

class TFramePackConfig : public QFrame {
    Q_OBJECT
public:
    static constexpr int kCalibrationRows = 6;
    static constexpr int kProductRows = 7;

    explicit TFramePackConfig(QWidget* parent = nullptr);

    // The store the commands go through; set once before the first InitPage.
    void SetStore(TDevInfo* store) { m_store = store; }
    // The window's runner for pack commands (none: the page makes its own).
    void SetRunner(TBusWorker* runner);
    // Whether a command of this page waits for the pack.
    bool IsBusy() const;

    void InitPage();
    void ApplyLanguage();
    void ShowValueOrigins();

    // The groups whose values are read from (or written to) one pack and
    // may then be written to another.
    enum ValueGroup { GroupRecording, GroupCapacity, GroupPackCount, GroupBarCode, GroupProduct, kValueGroups };
    // The pack the group's values came from; 0: typed, or none.
    std::uint8_t ValueOrigin(ValueGroup group) const { return m_valueOrigins[std::size_t(group)]; }

    // ---- Every pack's clock (framepackconfig_bus.cpp): "BtnSyncAllClocks"
    // (password) sets the clock of packs 1 to the pack count to the PC clock
    // on a worker, then shows each pack's offset before the sync and the
    // result in a TBusSummaryForm.
    // "BtnCancelSyncClocks" and "ProgressSyncClocks" show while it runs;
    // Cancel stops before the next pack, and the packs not reached are
    // named "not tried".
    void BtnSyncAllClocksClick();
    void BtnCancelSyncClocksClick();
    bool IsSyncingClocks() const;

    // ---- Left column (framepackconfig_handlers.cpp).
    void BtnReadDateTimeClick();
    void BtnWriteDateTimeClick();
    void BtnWriteRecordTimeClick();
    void BtnDeleteDataClick();
    void BtnDeleteAlarmClick();
    void BtnReadCapacityClick();
    void BtnWriteCapacityClick();
    void BtnWriteCycleTimeClick();
    void BtnReadPackQuantityClick();
    void BtnWritePackQuantityClick();
    void BtnReadBarCodeClick();
    void BtnWriteBarCodeClick();

    // ---- Right column (framepackconfig_calibration.cpp). Row 0..5:
    // voltage reference, pack voltage, charging, zero-point and discharging
    // current, temperature.
    void ReadCalibrationItem(int row, bool report);
    void BtnCalibrationClick(int row);
    void BtnResetClick(int row);
    void BtnReadProductClick();
    void BtnWriteProductClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The sync controls while the clocks are set, or idle again.
    void ShowSyncRunning(bool running);
    struct CalibrationRow {
        QLineEdit* first = nullptr;    // read-only
        QLineEdit* second = nullptr;   // entry
        QPushButton* read = nullptr;
        QPushButton* calibrate = nullptr;
        QPushButton* reset = nullptr;
    };

    QWidget* BuildLeftColumn();
    QWidget* BuildRightColumn();
    QGroupBox* BuildCalibrationGroup(int firstRow, int lastRow);
    QGroupBox* BuildProductGroup();
    // A control whose caption ApplyLanguage sets from the text id.
    template <typename Widget>
    Widget* Captioned(Widget* widget, std::uint16_t textId)
    {
        m_captions.emplace_back(widget, textId);
        return widget;
    }
    QPushButton* Button(const char* name, std::uint16_t textId, void (TFramePackConfig::*handler)());
    QLineEdit* NumberEdit(const char* name, int maxLength, const QString& allowed);

    // Both delete buttons: question, then the command.
    void DeleteLog(std::uint16_t questionId, std::uint8_t (TDevInfo::*command)(std::uint8_t, std::uint8_t));

    // Common steps of the handlers.
    bool PortIsOpen();
    // Runs the command on the runner, then then(result) here.
    void Send(std::function<std::uint8_t(TDevInfo&)> command, std::function<void(std::uint8_t)> then);
    // Empty field: its message, false.
    bool Given(const QLineEdit* edit, std::uint16_t emptyTextId = 0x702B);
    bool Confirmed(std::uint16_t questionId);
    // The result message; true on success.
    bool Report(std::uint8_t result);
    void Inform(const QString& text);
    std::uint8_t Address() const;
    std::uint8_t Pack() const;
    // A whole number within the limits, or the message naming the refused
    // text (outOfRangeId takes the upper limit, or both limits, as %1/%2).
    std::optional<std::int64_t> WholeIn(const QLineEdit* edit, std::int64_t minimum, std::int64_t maximum,
                                        std::uint16_t outOfRangeId);
    std::uint8_t CalibrationItem(int row) const;
    // The group's values are now those of the pack in focus (read from it
    // or written to it), or of no pack (cleared after a failed read).
    void NoteValuesFrom(ValueGroup group, bool fromPack);
    QLabel* OriginLabel(ValueGroup group, QWidget* parent);
    void ClearCalibrationRow(int row);
    // A calibration row's command on the runner: a calibration (write), a
    // reset, or a read alone; after a successful calibration or reset the
    // same job reads the row back. report: say the result of a read alone.
    void RunCalibration(int row, std::optional<std::pair<Decimal, Decimal>> write, bool reset, bool report);
    // A calibration command and the read of its row that follows a success.
    struct CalibrationExchange {
        std::uint8_t writeResult = 0;   // of the calibration or reset; 0 for a read alone
        std::uint8_t readResult = 0xFF;
        Decimal first;
        Decimal second;
    };
    void ShowCalibrationRead(int row, const CalibrationExchange& exchange);

    TDevInfo* m_store = nullptr;
    TPageCommand* m_command = nullptr;
    std::vector<std::pair<QWidget*, std::uint16_t>> m_captions;
    // Characters each filtered edit accepts besides Backspace and Enter.
    std::vector<std::pair<QLineEdit*, QString>> m_keyFilters;
    // Shown only with the password.
    std::vector<QWidget*> m_writeControls;
    TBusWorker* m_clockWorker = nullptr;
    std::array<std::uint8_t, kValueGroups> m_valueOrigins{};
    std::array<QLabel*, kValueGroups> m_originLabels{};
    QPushButton* BtnSyncAllClocks = nullptr;
    QPushButton* BtnCancelSyncClocks = nullptr;
    QProgressBar* ProgressSyncClocks = nullptr;

    // Left column.
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QGroupBox* GroupBox7 = nullptr;
    QDateEdit* DateTimePicker1 = nullptr;
    QTimeEdit* DateTimePicker2 = nullptr;
    QTimeEdit* DateTimePicker4 = nullptr;
    QTimeEdit* DateTimePicker5 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit10 = nullptr;
    QLabel* Label18 = nullptr;

    // Right column.
    std::array<CalibrationRow, kCalibrationRows> m_rows{};
    TComboBoxExt* ComboBoxExt1 = nullptr;
    std::array<QLineEdit*, kProductRows> m_productEdits{};   // in wire order
};
