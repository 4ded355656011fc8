#pragma once

#include "history/history_record.h"
#include "protocol/records.h"
#include "store/csv_writer.h"

#include <QString>
#include <QStringList>

class TDevInfo;
class TTextOper;

// The rows of the logs as they are shown and saved as CSV: the real-time
// log of one pack (39 columns: the family of the pack last, where readers
// of the older 38-column files do not look) and the two record logs (work data 34
// columns, alarm records 36). Pure formatters: the GUI's grids and the
// command line's CSV files both take their cells from here, so a log reads
// the same whichever front end wrote it. Headers come in the language the
// text service is set to.

inline constexpr int kRealtimeLogColumns = 39;
inline constexpr int kWorkDataLogColumns = 34;
inline constexpr int kAlarmRecordLogColumns = 36;

// The header cells of the real-time log.
QStringList RealtimeLogHeaders(const TTextOper& texts);

// Whether a reading goes into the log at all: a total voltage of at least
// 0.001 V or a first cell with a voltage. A pack that answers with nothing
// measured adds no row.
bool RealtimeReadingHoldsData(const RAnalogData& analog);

// The 39 cells of one reading; rowNumber counts from 1. The alarm and
// protection columns are the store's summaries of the alarm record. Another
// maker's pack fills the columns of what it sends (its SOC and SOH exact,
// its first four cell sensors, its ambient and MOSFET sensors, the cells it
// has) and leaves the others blank.
QStringList RealtimeLogRow(int rowNumber, const RAnalogData& analog, const RAlarmData& alarm,
                           const TDevInfo& store);
// One of those cells, for views that format a cell only when it is painted.
QString RealtimeLogCell(int column, int rowNumber, const RAnalogData& analog, const RAlarmData& alarm,
                        const TDevInfo& store);

// A cell-voltage extreme as the live views show it: the value, ">" and the
// cell in two digits ("3187>12"); a value of 0 (no reading) stands alone.
QString LiveExtremeText(const CellExtreme& extreme);

// Record logs. With alarmLog the alarm code and its text follow the
// remaining capacity; the work-data log has neither.
QStringList HistoryLogHeaders(bool alarmLog, const TTextOper& texts);
QStringList HistoryLogRow(int rowNumber, const RHistoryRecord& record, bool alarmLog, const QString& deviceCode,
                          const TTextOper& texts);
// One of those cells, for grids that format a cell only when it is painted.
QString HistoryLogCell(int column, int rowNumber, const RHistoryRecord& record, bool alarmLog,
                       const QString& deviceCode, const TTextOper& texts);

