#pragma once

// One pack's real-time log: a table model over the readings logged, each
// kept as a compact record (the analog record and the alarm status bytes,
// another family's own status bytes included)
// and formatted only when a cell is painted or written. Appending costs the
// same at the last row as at the first: room for the full log is reserved
// on the first reading and the view is told of one inserted row.
//
// Rows: one per reading, numbered from 1, then the empty row that waits for
// the next reading (so a fresh log has one row, the header being the view's
// header). At most kMaxRows readings are held.
//
// User-interface thread only.

#include "protocol/records.h"
#include "store/csv_writer.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

class TDevInfo;
class TTextOper;

// The readings of a log with what it takes to write them: the headers of
// the language in force and the store that words the alarm columns. It can
// be moved out of the model and written on another thread; every part of
// it is a copy or read-only.
class RealtimeLogRows {
public:
    explicit RealtimeLogRows(const TDevInfo& store)
        : m_store(&store)
    {
    }

    int readingCount() const { return int(m_readings.size()); }
    std::uint8_t lastPackNumber() const { return m_lastPack; }
    // The lines of the CSV file of this log: headers, readings and the
    // trailing empty row.
    int csvLineCount() const { return readingCount() + 2; }
    QStringList csvLine(int line) const;

private:
    friend class RealtimeLogModel;
    struct Reading {
        RAnalogData analog;
        std::array<std::uint8_t, kStatusBytes> status;
        // Another family's alarm record: its own status bytes, for the
        // alarm column.
        PackFamily alarmFamily = PackFamily::Ours;
        std::uint8_t familyStatusCount = 0;
        std::array<std::uint8_t, kMaxFamilyStatusBytes> familyStatus{};
    };
    RAlarmData alarmOf(const Reading& reading) const;

    const TDevInfo* m_store;
    std::vector<Reading> m_readings;
    QStringList m_headers;
    std::uint8_t m_lastPack = 0;
};

class RealtimeLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kMaxRows = 9999;

    // store formats the alarm and protection columns; it outlives the model.
    explicit RealtimeLogModel(const TDevInfo& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The headers in the language of texts.
    void applyLanguage(const TTextOper& texts);

    int readingCount() const { return m_rows.readingCount(); }
    bool isFull() const { return readingCount() >= kMaxRows; }
    // Pack number of the last reading added; 0 before the first.
    std::uint8_t lastPackNumber() const { return m_rows.lastPackNumber(); }

    // Appends the reading as the next row (the caller checks the log is not
    // full). Returns false, adding nothing, when the reading holds no data.
    bool addReading(const RAnalogData& analog, const RAlarmData& alarm);
    // Back to no readings; the reserved room is given back.
    void clearReadings();
    // Hands the readings over (to be saved elsewhere) and starts afresh.
    RealtimeLogRows takeReadings();

    const RealtimeLogRows& rows() const { return m_rows; }
    int csvLineCount() const { return m_rows.csvLineCount(); }
    QStringList csvLine(int line) const { return m_rows.csvLine(line); }

private:
    RealtimeLogRows m_rows;
};

// Outcome of saving a log automatically.
struct AutoSaveResult {
    enum class Outcome { NothingToSave, Saved, Failed };
    Outcome outcome = Outcome::NothingToSave;
    QString path;          // the file written
    QString folder;        // on failure: the first folder tried
    QString error;         // on failure: why the last folder failed
    int rows = 0;          // readings saved or not saved
};

// The automatic file name of a log: pack number (no leading zeros), "_",
// the time as yyyyMMddHHmmss, ".csv". A name already taken in the folder
// gets "_2", "_3", ... before ".csv".
QString AutoSaveFileName(std::uint8_t packNumber, const QDateTime& now);

// Saves a log that holds readings into the first of folders that takes it
// (creating the folder when missing); a log without readings writes
// nothing. Any thread: it reads only the rows it is given.
AutoSaveResult AutoSaveLog(const RealtimeLogRows& log, const QStringList& folders, const QDateTime& now);
