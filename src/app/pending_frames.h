#pragma once

// Stand-ins for the frames of the real-time log, the parallel monitor, the
// location page and the four command pages. Each offers the operations the
// main window calls on the finished frame, so the window's order of steps is
// complete already; until a frame is built its operations show nothing.

#include "protocol/records.h"

#include <QFrame>

// One pack's real-time log page.
class TPendingRealTimeData : public QFrame {
    Q_OBJECT
public:
    explicit TPendingRealTimeData(QWidget* parent = nullptr);
    void InitGrid() {}
    void ApplyLanguage() {}
    void AddRecord(const RAnalogData& /*analog*/, const RAlarmData& /*alarm*/) {}
    // Writes the log to the data folder when it holds rows; a fresh log holds
    // none.
    void AutoSaveRecords() {}
};

// The side-by-side view of all packs.
class TPendingPackDataMonitor : public QFrame {
    Q_OBJECT
public:
    explicit TPendingPackDataMonitor(QWidget* parent = nullptr);
    void InitGrid() {}
    void ShowColumn(const RAnalogData& /*analog*/) {}
};

// The location page.
class TPendingPackLocation : public QFrame {
    Q_OBJECT
public:
    explicit TPendingPackLocation(QWidget* parent = nullptr);
    void ApplyLanguage() {}
    void ClearLocation() {}
    void ShowLocation(const RLocationData& /*location*/) {}
};

// A page that sends its own commands (parameters, configuration, records).
class TPendingCommandPage : public QFrame {
    Q_OBJECT
public:
    explicit TPendingCommandPage(QWidget* parent = nullptr);
    void InitPage() {}
    void ApplyLanguage() {}
};
