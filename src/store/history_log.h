#pragma once

// The records of a work-data or alarm log read from a pack, as a table
// model: each row keeps the record and the bar code of its pack, and a
// cell is formatted only when it is painted or written.
//
// Rows: one per record, numbered from 1; a log without records shows one
// empty row. The header row is the view's header.
//
// User-interface thread only.

#include "history/history_record.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

class TTextOper;

class HistoryLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // alarmLog: the alarm-record log (36 columns); otherwise work data (34).
    explicit HistoryLogModel(bool alarmLog, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Headers, mode and alarm texts in the language texts is set to.
    void applyLanguage(const TTextOper& texts);

    int recordCount() const { return int(m_rows.size()); }
    // Record 0..recordCount()-1.
    const RHistoryRecord& record(int row) const { return m_rows[std::size_t(row)].record; }
    // The record becomes the next row, shown with deviceCode in the last column.
    void addRecord(const RHistoryRecord& record, const QString& deviceCode);
    // Back to one empty row.
    void clearRecords();

    // The CSV file of the grid: the header line, then every row.
    int csvLineCount() const { return rowCount() + 1; }
    QStringList csvLine(int line) const;

private:
    struct Row {
        RHistoryRecord record;
        QString deviceCode;
    };
    QString cell(int row, int column) const;

    bool m_alarmLog;
    QStringList m_headers;
    std::vector<Row> m_rows;
};
