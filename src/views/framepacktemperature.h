#pragma once

// TFramePackTemperature: ambient, FET and cell temperatures T1-T4 of the pack
// in focus, whole degrees, in a disabled 3 x 6 grid "StringGrid1" inside the
// group box "GroupBox1". The highest value is drawn red, the lowest green
// (green when all are equal).
//
// Public API for the main window (user-interface thread only):
//   ApplyLanguage()            group caption and the ambient label
//   InitGrid()                 layout and fixed labels; empties every value
//   ShowData(analog, alarm)    values, limit marks and extremes from copies
//                              of the pack's records; repaints
//   extremes()                 highest and lowest of the last ShowData

#include "protocol/records.h"
#include "views/overview_layout.h"

#include <QFrame>

class QGroupBox;
class QTableView;
class PackTemperatureModel;

class TFramePackTemperature : public QFrame {
    Q_OBJECT
public:
    explicit TFramePackTemperature(QWidget* parent = nullptr);

    void ApplyLanguage();
    void InitGrid();
    void ShowData(const RAnalogData& analog, const RAlarmData& alarm);

    TemperatureExtremes extremes() const;
    QGroupBox* groupBox() const { return m_groupBox; }
    QTableView* grid() const { return m_grid; }

private:
    QGroupBox* m_groupBox = nullptr;
    QTableView* m_grid = nullptr;
    PackTemperatureModel* m_model = nullptr;
};
