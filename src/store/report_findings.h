#pragma once

#include "store/report_data.h"
#include "store/report_wording.h"

#include <QDateTime>

#include <optional>
#include <span>

// The rules behind a report's findings. Each rule is a pure function: the
// pack's value and the pack's own limit in, a finding holding both out (or
// none). The rules are written out in the report and in the README.
namespace ReportRules {
inline constexpr qint64 kClockLimitSeconds = 5 * 60;
inline constexpr int kProtectionDays = 30;
inline constexpr int kSohLimit = 80;
// Alarm codes from here on are protections (21-39) and faults (40 and up).
inline constexpr std::uint8_t kFirstProtectionCode = 21;
// Catalogue ids of the limits the rules use.
inline constexpr std::uint8_t kBalanceStartDifference = 24;
inline constexpr std::uint8_t kDifferenceAlarm = 60;
inline constexpr std::uint8_t kCellHighAlarm = 40;
inline constexpr std::uint8_t kCellLowAlarm = 41;
inline constexpr std::uint8_t kAmbientHighAlarm = 51;
inline constexpr std::uint8_t kAmbientLowAlarm = 52;
inline constexpr std::uint8_t kFetHighAlarm = 53;
inline constexpr std::uint8_t kFetLowAlarm = 54;
} // namespace ReportRules

// Spread above the balance starting difference: Watch; at or above the
// voltage difference alarm: Service. A limit of 0 (not set) is not applied.
std::optional<RFinding> SpreadFinding(int spreadMv, int balanceStartMv, int differenceAlarmMv);
// A temperature at or beyond one of its alarm limits: Watch. sensor: the
// finding's item (a cell sensor from 1, kAmbientSensorItem, kFetSensorItem).
std::optional<RFinding> TemperatureFinding(int sensor, Decimal value, Decimal lowAlarm, Decimal highAlarm);
// A protection or fault logged within the recent window: Service. The value
// is how often, the item the alarm code.
std::optional<RFinding> ProtectionFinding(const RAlarmCount& count);
// A clock more than five minutes off the PC: Watch.
std::optional<RFinding> ClockFinding(qint64 offsetSeconds);
// A software version that differs from the one most packs run: Watch.
std::optional<RFinding> VersionFinding(std::uint16_t version, std::uint16_t commonVersion);
// SOH below 80 %: Service.
std::optional<RFinding> HealthFinding(int soh);

// The version most answering packs run (ties: the one met first); none
// when fewer than two packs answered with a version.
std::optional<std::uint16_t> CommonSoftwareVersion(std::span<const RPackReport> packs);
// All findings of one answering pack; the parameters, logs and clock are
// used only where they were read.
std::vector<RFinding> PackFindings(const RPackReport& pack, std::optional<std::uint16_t> commonVersion);
// The worst level among the findings (OK without any).
ReportLevel OverallLevel(std::span<const RFinding> findings);
// Fills in the findings of every answering pack, most severe first, and the
// level of every pack: Incomplete at least when something was not read.
void ApplyFindings(RReport& report);
