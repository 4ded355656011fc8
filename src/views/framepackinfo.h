#pragma once

// TFramePackInfo: the pack totals of the pack in focus (total voltage,
// current, SOC, SOH, capacities, cycle count) in a disabled 8 x 4 grid
// "StringGrid1" inside the group box "GroupBox1" ("电池信息").
//
// Public API for the main window (user-interface thread only):
//   ApplyLanguage()            group caption and row labels in the current
//                              language
//   InitGrid()                 layout and fixed labels; empties every value
//                              cell (after a change of the pack in focus)
//   ShowData(analog, alarm)    fills the values from copies of the pack's
//                              records and repaints

#include "protocol/records.h"

#include <QFrame>

class QGroupBox;
class QTableView;
class PackInfoModel;

class TFramePackInfo : public QFrame {
    Q_OBJECT
public:
    explicit TFramePackInfo(QWidget* parent = nullptr);

    void ApplyLanguage();
    void InitGrid();
    void ShowData(const RAnalogData& analog, const RAlarmData& alarm);

    QGroupBox* groupBox() const { return m_groupBox; }
    QTableView* grid() const { return m_grid; }

private:
    QGroupBox* m_groupBox = nullptr;
    QTableView* m_grid = nullptr;
    PackInfoModel* m_model = nullptr;
};
