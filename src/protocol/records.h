#pragma once

#include "protocol/decimal.h"
#include "protocol/pack_family.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// A date and time as the packs exchange it.
struct RDeviceTime {
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;

    friend bool operator==(const RDeviceTime&, const RDeviceTime&) = default;
    static RDeviceTime fromDateTime(const QDateTime& time);
    // The local date and time, or nothing when a field is out of range
    // (month 0 or 13, 31 February, hour 24): a clock no calendar has.
    std::optional<QDateTime> toDateTime() const;
};

inline constexpr int kMaxPacks = 16;
inline constexpr int kMaxCells = 16;
inline constexpr int kMaxCellTemperatures = 4;
inline constexpr int kStatusBytes = 16;

// One pack's measurements, as the analog data answer carries them.
// The fields of the analog answer in the order the pack sends them. Older
// firmware ends its answer after one of them; the fields after it were not
// sent, which is not the same as zero.
enum class AnalogField : std::uint8_t {
    Cells, CellTemperatures, Ambient, Fet, Current, Voltage, Remaining,
    FullCapacity, Cycles, Soc, Soh, Balancing, Humidity,
};
inline constexpr std::uint8_t kAnalogFields = std::uint8_t(AnalogField::Humidity) + 1;

inline constexpr int kMaxFamilyTemperatures = 16;
inline constexpr int kMaxFamilyStatusBytes = 24;

// What another family's live-value answer carries beyond the fields our
// packs send too. Empty for our packs.
struct RFamilyAnalog {
    // Every temperature in the order sent, with what it measures. The shared
    // fields carry the ones that fit there as well: the first four cell
    // sensors in cellTemperatures, the ambient and MOSFET sensors in
    // ambientTemperature and fetTemperature.
    std::uint8_t temperatureCount = 0;
    std::array<TemperatureRole, kMaxFamilyTemperatures> temperatureRoles{};
    std::array<Decimal, kMaxFamilyTemperatures> temperatures{};   // °C
    std::uint8_t cellCount = 0;
    std::uint8_t userDefinedCount = 0;        // P as sent
    // Exact where the pack sends them (‰ or %), as percent; nothing where it
    // does not (the record's soc and soh then stay unsent).
    std::optional<Decimal> soc;
    std::optional<Decimal> soh;
    std::optional<Decimal> designCapacity;    // Ah (rated or design capacity)
    std::optional<Decimal> portVoltage;       // V
    std::optional<Decimal> chargedAh;         // to date
    std::optional<Decimal> dischargedAh;
    std::optional<Decimal> chargedKwh;
    std::optional<Decimal> dischargedKwh;
    std::optional<std::uint32_t> chargingHours;
    std::optional<std::uint32_t> dischargingHours;
    std::optional<std::uint16_t> charges;
    std::optional<std::uint16_t> discharges;
    std::optional<Decimal> highestCellTemperature;   // °C
    std::optional<Decimal> lowestCellTemperature;    // °C
    friend bool operator==(const RFamilyAnalog&, const RFamilyAnalog&) = default;
};

struct RAnalogData {
    std::uint8_t packNumber = 0;
    Decimal totalVoltage;                                    // V
    Decimal current;                                         // A, signed as sent
    std::array<std::uint16_t, kMaxCells> cellVoltages{};     // mV
    std::array<Decimal, kMaxCellTemperatures> cellTemperatures{}; // °C
    std::array<std::uint8_t, kMaxCells> balancing{};         // 1 = cell k+1 balancing
    Decimal remainingCapacity;                               // Ah
    Decimal fullCapacity;                                    // Ah
    std::uint16_t cycleCount = 0;
    std::uint8_t soc = 0;
    std::uint8_t soh = 0;
    Decimal ambientTemperature;                              // °C
    Decimal fetTemperature;                                  // °C
    std::uint8_t humidity = 0;
    QDateTime time;                                          // PC clock when made
    std::uint8_t fieldsSent = kAnalogFields;                 // how many AnalogFields the answer carried
    PackFamily family = PackFamily::Ours;                    // whose layout the answer had
    RFamilyAnalog extra;                                     // other families only

    bool sent(AnalogField field) const { return std::uint8_t(field) < fieldsSent; }
    friend bool operator==(const RAnalogData&, const RAnalogData&) = default;
};

// What another family's alarm answer carries beyond the limit states our
// packs send too. Their status bytes mean something else than ours, so they
// never go into RAlarmData::status: they are kept here in the order sent,
// named by FamilyStatusNames.
struct RFamilyAlarm {
    std::uint8_t temperatureCount = 0;
    std::array<std::uint8_t, kMaxFamilyTemperatures> temperatureStates{};
    // Families that send the charge and discharge current states apart: the
    // charge state is in currentState, the discharge state here.
    std::optional<std::uint8_t> dischargeCurrentState;
    std::uint8_t statusCount = 0;
    std::array<std::uint8_t, kMaxFamilyStatusBytes> status{};
    // Per-cell fault bits where the family sends them: bit k is cell k+1.
    std::optional<std::uint16_t> cellFaults;
    friend bool operator==(const RFamilyAlarm&, const RFamilyAlarm&) = default;
};

// One pack's limit states, short-circuit word and status bytes.
struct RAlarmData {
    std::uint8_t packNumber = 0;
    std::array<std::uint8_t, kMaxCells> cellStates{};
    std::array<std::uint8_t, kMaxCellTemperatures> temperatureStates{};
    std::uint8_t currentState = 0;
    std::uint8_t voltageState = 0;
    std::array<std::uint8_t, kStatusBytes> status{};         // status bytes 1..16 at 0..15
    std::uint16_t shortCircuit = 0;
    RDeviceTime time;
    PackFamily family = PackFamily::Ours;                    // whose layout the answer had
    RFamilyAlarm extra;                                      // other families only

    friend bool operator==(const RAlarmData&, const RAlarmData&) = default;
};

// Location and communication-module data of one pack.
struct RLocationData {
    std::uint8_t packNumber = 0;
    std::uint8_t visibleSatellites = 0;
    std::uint8_t usedSatellites = 0;
    std::uint8_t signalStrength = 0;
    std::uint16_t areaCode = 0;
    std::uint16_t cellId = 0;
    double stationLongitude = 0;
    double stationLatitude = 0;
    double satelliteLongitude = 0;
    double satelliteLatitude = 0;
    Decimal speed;                                           // km/h
    std::uint16_t direction = 0;
    std::uint16_t status = 0;
    QString imei;                                            // first text, 20 characters
    QString ccid;                                            // second text, 30 characters
    QDateTime time;

    friend bool operator==(const RLocationData&, const RLocationData&) = default;
};

// The seven product texts, 30 characters each on the wire.
struct RProductInfo {
    QString companyName;
    QString productionDate;
    QString moduleName;
    QString versionNumber;
    QString batteryType;
    QString serialNumber;
    QString remark;

    friend bool operator==(const RProductInfo&, const RProductInfo&) = default;
};

// State of charge and health in percent, exact: what another family sends
// (‰ or %), or our packs' whole percent; nothing when the answer did not
// carry it.
std::optional<Decimal> StateOfCharge(const RAnalogData& record);
std::optional<Decimal> StateOfHealth(const RAnalogData& record);

// Blank records stamped with the PC clock.
RAnalogData InitAnalogData(std::uint8_t packNumber);
RAlarmData InitAlarmData(std::uint8_t packNumber);
RLocationData InitLocationData(std::uint8_t packNumber);

// The highest cell voltage and the 1-based position of its first occurrence.
// All cells 0: value 0 at position 1.
struct CellExtreme {
    std::uint16_t millivolts = 0;
    std::uint8_t position = 1;
};
CellExtreme MaxCellVoltage(const RAnalogData& record);
// The lowest cell voltage that is not 0 (cells without a reading are 0) and
// the position of its first occurrence. All cells 0: value 0 at position 1.
CellExtreme MinCellVoltage(const RAnalogData& record);
