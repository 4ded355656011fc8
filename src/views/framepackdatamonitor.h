#pragma once

// TFramePackDataMonitor: the packs of the bus side by side in one grid
// "StringGrid1": one row per quantity (32), one column per pack after the
// number, label and unit columns. Each pack's column keeps the last values
// written for it until the grid is rebuilt.
//
//   InitGrid()                 builds the grid for the current pack count,
//                              labels in the current language, pack columns
//                              empty
//   ShowPackColumn(analog)     fills the column of the record's pack, or
//                              empties it for a reading without cell
//                              voltages
//
// User-interface thread only.

#include "protocol/records.h"

#include <QFrame>

class QTableView;
class PackMonitorModel;

class TFramePackDataMonitor : public QFrame {
    Q_OBJECT
public:
    explicit TFramePackDataMonitor(QWidget* parent = nullptr);

    void InitGrid();
    void ShowPackColumn(const RAnalogData& analog);

    QTableView* grid() const { return StringGrid1; }

private:
    QTableView* StringGrid1 = nullptr;
    PackMonitorModel* m_model = nullptr;
};
