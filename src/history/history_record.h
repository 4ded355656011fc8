#pragma once

#include "protocol/answer_view.h"
#include "protocol/decimal.h"
#include "protocol/records.h"

#include <QString>

#include <array>
#include <cstdint>

class TDevOper;

// One stored work-data or alarm record as the pack keeps it in its memory.
struct RHistoryRecord {
    std::uint8_t packNumber = 0;
    std::uint8_t mode = 0;                                        // 0 idle, 1 charging, 2 discharging
    Decimal voltage;                                              // V
    Decimal current;                                              // A, negative while discharging
    std::uint8_t soc = 0;                                         // %
    Decimal remainingCapacity;                                    // Ah
    std::uint8_t alarmCode = 0;
    std::array<Decimal, kMaxCellTemperatures> cellTemperatures{}; // °C
    std::array<std::uint16_t, kMaxCells> cellVoltages{};          // mV
    Decimal ambientTemperature;                                   // °C
    Decimal fetTemperature;                                       // °C
    std::uint8_t humidity = 0;                                    // %
    RDeviceTime time;                                             // when the pack stored it

    friend bool operator==(const RHistoryRecord&, const RHistoryRecord&) = default;
};

// First INFO byte of a request: moves the read position the pack keeps.
namespace HistorySubCommand {
inline constexpr std::uint8_t kFirst = 0;
inline constexpr std::uint8_t kNext = 1;
inline constexpr std::uint8_t kRetry = 2;
inline constexpr std::uint8_t kStop = 3;
} // namespace HistorySubCommand

// First INFO byte of an answer.
inline constexpr std::uint8_t kHistoryRecordFollows = 0;
inline constexpr std::uint8_t kHistoryEndOfLog = 1;

// Decodes the INFO of a record answer whose RTN was 0. Pure and bounded.
// Returns 0 and sets both status bytes; when the first one is 0 the record
// follows and is parsed into record (slots the answer does not fill keep
// their value). An answer too short for what its own counts announce, or
// whose temperature count leaves no room for ambient and FET (M below 2),
// gives ResultCode::kBadFrame and writes nothing. Counts above what the
// record holds (M above 6, N above 16) are read past, not stored.
std::uint8_t DecodeHistoryRecord(const AnswerView& answer, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                                 RHistoryRecord& record);

// One record exchange of a transfer (work-data log: CID2 0x4B, alarm log:
// 0x4C). The stop sub-command sends its request, lets the reply window
// pass and returns 0 without looking at the answer. Otherwise the result is
// the link's error code, the pack's RTN, or 0; the status bytes and the
// record are written only on 0 (the record only when a record followed).
// Takes the link lock for the whole exchange; any thread.
std::uint8_t ReadWorkDataRecord(TDevOper& devOper, std::uint8_t address, std::uint8_t packNumber,
                                std::uint8_t subCommand, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                                RHistoryRecord& record);
std::uint8_t ReadAlarmRecord(TDevOper& devOper, std::uint8_t address, std::uint8_t packNumber,
                             std::uint8_t subCommand, std::uint8_t& firstStatus, std::uint8_t& secondStatus,
                             RHistoryRecord& record);

// A blank record for the pack, stamped with the PC clock; the two logs share it.
void InitWorkDataRecord(std::uint8_t packNumber, RHistoryRecord& record);
void InitAlarmRecord(std::uint8_t packNumber, RHistoryRecord& record);

// "Free", "Charge", "DisCharge" or "Unknown".
QString GetModeText(std::uint8_t mode);
