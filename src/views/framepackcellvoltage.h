#pragma once

// TFramePackCellVoltage: the sixteen cell voltages (mV) of the pack in focus
// with their limit marks and balancing flags, and the highest and lowest cell
// in row 0, in a disabled 9 x 8 grid "StringGrid1" inside the group box
// "GroupBox1". The group caption carries the spread highest - lowest after
// each reading. The highest cells are drawn red, the lowest green (green
// wins a tie).
//
// Public API for the main window (user-interface thread only):
//   ApplyLanguage()            group caption and row-0 labels
//   InitGrid()                 layout and fixed labels; empties every value
//   ShowData(analog, alarm)    values, marks, balancing and extremes from
//                              copies of the pack's records; repaints
//   highest(), lowest()        extremes of the last ShowData

#include "protocol/records.h"

#include <QFrame>

class QGroupBox;
class QTableView;
class PackCellVoltageModel;

class TFramePackCellVoltage : public QFrame {
    Q_OBJECT
public:
    explicit TFramePackCellVoltage(QWidget* parent = nullptr);

    void ApplyLanguage();
    void InitGrid();
    void ShowData(const RAnalogData& analog, const RAlarmData& alarm);

    CellExtreme highest() const;
    CellExtreme lowest() const;
    QGroupBox* groupBox() const { return m_groupBox; }
    QTableView* grid() const { return m_grid; }

private:
    void UpdateCaption();

    QGroupBox* m_groupBox = nullptr;
    QTableView* m_grid = nullptr;
    PackCellVoltageModel* m_model = nullptr;
    QString m_title;
};
