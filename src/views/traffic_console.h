#pragma once

// The traffic console: a window of its own over the link's traffic ring.
// A table of the exchanges that follows new traffic (unless paused),
// filters by address and command, copies and saves the lines shown, and
// shows failed exchanges in red with their reason. It reads copies of the
// ring's records on a timer of the user-interface thread; the polling
// thread never reaches it.

#include "protocol/traffic_log.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>

#include <cstdint>
#include <deque>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

// The records fetched from the ring, one row each, at most the ring's
// capacity (the oldest rows go first).
class TTrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColSent, ColAnswered, ColElapsed, ColAddress, ColCommand, ColResult, ColRequest, ColAnswer, ColCount };

    explicit TTrafficModel(TTrafficLog& log, QObject* parent = nullptr);

    // Appends what the ring holds beyond the last row; returns the count.
    int Fetch();
    void ClearRows();
    const RTrafficRecord& Record(int row) const { return m_rows[std::size_t(row)]; }
    // Re-reads the header texts after a change of language.
    void RetranslateHeader();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    TTrafficLog& m_log;
    std::deque<RTrafficRecord> m_rows;
    std::uint64_t m_lastSequence = 0;
};

// Keeps the rows of one address and one command; 0 / -1 keep all.
class TTrafficFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void SetAddress(int address);
    void SetCid2(int cid2);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    int m_address = 0;
    int m_cid2 = -1;
};

class TTrafficConsole : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 250;

    explicit TTrafficConsole(TTrafficLog& log, QWidget* parent = nullptr);

    void ApplyLanguage();
    // Reads new records now (the timer does so every kRefreshMs).
    void Refresh();
    // The lines of the rows shown, as copied and saved: the selected rows,
    // or every row the filter keeps when none is selected.
    QStringList ShownLines(bool selectedOnly) const;
    // Saves the rows the filter keeps; asks for the file through the
    // file-dialog hook. False when cancelled or not written.
    bool SaveAs();
    void CopyLines();

private:
    void FilterChanged();

    TTrafficModel* m_model = nullptr;
    TTrafficFilter* m_filter = nullptr;
    QTableView* TrafficTable = nullptr;
    QPushButton* BtnTrafficPause = nullptr;
    QLabel* LabelTrafficAddress = nullptr;
    QComboBox* ComboTrafficAddress = nullptr;
    QLabel* LabelTrafficCommand = nullptr;
    QComboBox* ComboTrafficCommand = nullptr;
    QPushButton* BtnTrafficCopy = nullptr;
    QPushButton* BtnTrafficSave = nullptr;
    QPushButton* BtnTrafficClear = nullptr;
    QTimer* m_timer = nullptr;
};
