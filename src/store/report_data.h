#pragma once

#include "history/history_record.h"
#include "history/history_transfer.h"
#include "params/parameter_info.h"
#include "protocol/records.h"
#include "store/pack_loop.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class TDevInfo;
class TTextOper;
struct RBusControl;

// How a pack fares in a service report, least severe first. Incomplete: a
// read the rules need brought nothing, so "OK" cannot be said; a Watch or
// Service finding still outranks it (what could not be read is listed
// beside the level either way).
enum class ReportLevel : std::uint8_t { Ok, Incomplete, Watch, Service };

// The rule behind a finding; each has a name a script can match
// (ReportRuleName) and a sentence where the report is shown.
enum class ReportRule : std::uint8_t { Spread, Temperature, Protection, Clock, Version, Health };

// The unit of a finding's value and limit.
enum class ReportUnit : std::uint8_t { None, Millivolt, Celsius, Second, Percent };

// Which temperature a temperature finding is about: the cell sensors are
// numbered from 1; these two stand for the others.
inline constexpr int kAmbientSensorItem = 0xFE;
inline constexpr int kFetSensorItem = 0xFF;

// One finding, as values: the rule, its level, the pack's value and the
// limit it was held against. Texts are made where it is shown.
struct RFinding {
    ReportRule rule = ReportRule::Spread;
    ReportLevel level = ReportLevel::Ok;
    Decimal value;       // the spread, temperature, clock offset, SOH, version or alarm count
    Decimal limit;       // the limit passed (Version: the version most packs run)
    ReportUnit unit = ReportUnit::None;
    // Temperature: the sensor (1.., kAmbientSensorItem, kFetSensorItem);
    // Protection: the alarm code.
    int item = 0;
    RDeviceTime when;    // Protection: the last time it was logged within the window

    friend bool operator==(const RFinding&, const RFinding&) = default;
};

// One alarm text of the alarm log: how often it was logged, first and last
// time; and of those, how often within the recent window before the report.
struct RAlarmCount {
    std::uint8_t code = 0;
    int count = 0;
    RDeviceTime first;
    RDeviceTime last;
    int recentCount = 0;
    RDeviceTime recentLast;
};

// What a log transfer brought: complete, or how it ended and the result
// code of its last failed exchange.
struct RLogState {
    bool complete = false;
    int records = 0;
    HistoryTransferEnd end = HistoryTransferEnd::Running;
    std::uint8_t lastError = 0;
};

struct RAlarmLogSummary {
    RLogState state;
    std::vector<RAlarmCount> counts;   // in code order
};

// One work-data record as the voltage and current chart shows it.
struct RWorkPoint {
    RDeviceTime time;
    Decimal voltage;
    Decimal current;
};

struct RWorkLogSummary {
    RLogState state;
    int lowestCell = 0;            // 1-based; 0: no record with a cell reading
    int lowestCellTimes = 0;       // records in which it was the lowest
    int largestSpreadMv = 0;
    RDeviceTime largestSpreadTime;
    bool hasTemperatures = false;
    Decimal minTemperature;        // °C, over the cell sensors
    Decimal maxTemperature;
    std::vector<RWorkPoint> points;
};

// A parameter whose value differs from the reference: both entries, with
// the value, its kind, decimals and unit code.
struct RParameterDifference {
    std::uint8_t id = 0;
    RParameterKind reference;
    RParameterKind pack;
};

// A read of the report that brought nothing usable: the command (its CID2)
// and the result code it ended with. Texts are made where it is shown.
struct RUnreadItem {
    std::uint8_t command = 0;
    std::uint8_t result = 0;   // 0: the answer came but ended early (older firmware)

    friend bool operator==(const RUnreadItem&, const RUnreadItem&) = default;
};

// Everything the report says about one pack, from fresh reads.
struct RPackReport {
    std::uint8_t packNumber = 0;
    std::uint8_t address = 0;
    RPackReach reach = RPackReach::Asked;   // not asked: cancelled before it, or the port was lost
    bool answered = false;                  // its analog answer was read
    std::uint8_t answerResult = 0; // the analog read's result code when the pack did not answer
    // What could not be read of a pack that was asked, in the order asked;
    // empty when every read the rules need came back whole.
    std::vector<RUnreadItem> unread;

    QString barCode;
    std::uint16_t softwareVersion = 0;
    bool deviceInfoRead = false;
    QString deviceName;
    QString manufacturer;
    bool productRead = false;
    RProductInfo product;

    bool clockRead = false;
    RDeviceTime packClock;
    qint64 clockOffsetSeconds = 0; // pack clock minus PC clock

    RAnalogData analog;
    bool capacityRead = false;
    std::int32_t designMah = 0;
    std::int32_t fullMah = 0;
    std::int32_t remainingMah = 0;

    bool alarmRead = false;
    RAlarmData alarm;              // its status bits name the alarms and protections active now

    bool parametersRead = false;
    RParameter parameters;
    bool compared = false;         // a reference was given and the set read
    std::vector<RParameterDifference> differences;

    bool logsRead = false;         // false: --no-logs
    RAlarmLogSummary alarmLog;
    RWorkLogSummary workLog;

    std::vector<RFinding> findings;
    ReportLevel level = ReportLevel::Ok;
};

// What the user asked for.
struct RReportRequest {
    std::vector<std::uint8_t> packs;
    bool withLogs = true;
    std::optional<RParameter> reference;
    // The ids the reference gives (the lines of a file); empty: all of them.
    std::vector<std::uint8_t> referenceIds;
    // A pack whose set, read first, is the reference (0: none); used when
    // no reference is given.
    std::uint8_t referencePack = 0;
    QString referenceName;         // the file it came from
};

struct RReport {
    QDateTime made;                // PC clock at the start
    QString referenceName;         // the reference file's name; empty for a pack or none
    bool withLogs = true;
    bool cancelled = false;
    bool portLost = false;         // the port went away: some packs were not (fully) read
    // A reference pack that could not be read: its number and the result
    // code (0: read, or none asked); nothing was compared then.
    std::uint8_t referencePack = 0;
    std::uint8_t referenceResult = 0;
    std::vector<RPackReport> packs;
};

// The packs whose report is not a full check: not asked, silent, or with
// something that could not be read. In report order.
std::vector<std::uint8_t> UncheckedPacks(const RReport& report);
// Whether everything asked for was read: every pack fully and the reference.
bool ReportComplete(const RReport& report);

// ---- Pure summaries of what the packs sent.

// Alarm log: counts per alarm code (records with code 0 are left out), and
// how many fell within recentDays before now.
std::vector<RAlarmCount> SummariseAlarmLog(const std::vector<RHistoryRecord>& records, const QDateTime& now,
                                           int recentDays);
// Work-data log: the lowest cell, the largest spread, the temperature
// range and the points of the chart.
RWorkLogSummary SummariseWorkLog(const std::vector<RHistoryRecord>& records);
// Highest cell minus lowest measured cell, in mV; 0 without readings.
int CellSpreadMv(const std::array<std::uint16_t, kMaxCells>& cells);
// A pack's date and time as a local date and time; invalid when it is none.
QDateTime DeviceDateTime(const RDeviceTime& time);

// ---- Reading.

// Reads what the report shows of every requested pack, one pack after the
// other (ForEachPack), then works out the findings. Stops before the next
// pack (or the next log record) once cancelled; the report then says so,
// and the packs left are "not tried". Packs after a lost port are "port
// lost", never silent. Every read that brought nothing is listed on its
// pack (RPackReport::unread). Safe on any thread: every read is a store
// command holding the link lock for its exchange.
RReport GatherReport(TDevInfo& store, const RReportRequest& request, const RBusControl& control);

Q_DECLARE_METATYPE(RReport)
