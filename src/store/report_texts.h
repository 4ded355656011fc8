#pragma once

#include <cstdint>

// Text ids of the service report (its pages, its findings and its dialog).
// Every id here has a row in src/services/texts/ui.tsv.
namespace ReportText {

inline constexpr std::uint16_t kTitle = 0x36C0;
inline constexpr std::uint16_t kReportButton = 0x36C1;
inline constexpr std::uint16_t kMadeOn = 0x36C2;
inline constexpr std::uint16_t kPack = 0x36C3;
inline constexpr std::uint16_t kStatus = 0x36C4;
inline constexpr std::uint16_t kOk = 0x36C5;
inline constexpr std::uint16_t kWatch = 0x36C6;
inline constexpr std::uint16_t kService = 0x36C7;
inline constexpr std::uint16_t kNoAnswer = 0x36C8;
inline constexpr std::uint16_t kRackSummary = 0x36C9;
inline constexpr std::uint16_t kIdentity = 0x36CA;
inline constexpr std::uint16_t kProductInfo = 0x36CB;
inline constexpr std::uint16_t kClockOffset = 0x36CC;
inline constexpr std::uint16_t kSeconds = 0x36CD;
inline constexpr std::uint16_t kState = 0x36CE;
inline constexpr std::uint16_t kSoh = 0x36CF;
inline constexpr std::uint16_t kCells = 0x36D0;
inline constexpr std::uint16_t kLowest = 0x36D1;
inline constexpr std::uint16_t kHighest = 0x36D2;
inline constexpr std::uint16_t kSpread = 0x36D3;
inline constexpr std::uint16_t kTemperatures = 0x36D4;
inline constexpr std::uint16_t kActiveNow = 0x36D5;
inline constexpr std::uint16_t kAlarmLog = 0x36D6;
inline constexpr std::uint16_t kCount = 0x36D7;
inline constexpr std::uint16_t kFirst = 0x36D8;
inline constexpr std::uint16_t kLast = 0x36D9;
inline constexpr std::uint16_t kWorkLog = 0x36DA;
inline constexpr std::uint16_t kLowestMostOften = 0x36DB;
inline constexpr std::uint16_t kLargestSpread = 0x36DC;
inline constexpr std::uint16_t kTemperatureRange = 0x36DD;
inline constexpr std::uint16_t kDifferingParameters = 0x36DE;
inline constexpr std::uint16_t kReference = 0x36DF;
inline constexpr std::uint16_t kParameter = 0x36E0;
inline constexpr std::uint16_t kThisPack = 0x36E1;
inline constexpr std::uint16_t kFindings = 0x36E2;
inline constexpr std::uint16_t kRules = 0x36E3;
inline constexpr std::uint16_t kLogMissing = 0x36E4;
inline constexpr std::uint16_t kSpreadWatch = 0x36E5;
inline constexpr std::uint16_t kSpreadService = 0x36E6;
inline constexpr std::uint16_t kTemperatureWatch = 0x36E7;
inline constexpr std::uint16_t kProtectionLogged = 0x36E8;
inline constexpr std::uint16_t kClockWatch = 0x36E9;
inline constexpr std::uint16_t kVersionWatch = 0x36EA;
inline constexpr std::uint16_t kSohService = 0x36EB;
inline constexpr std::uint16_t kNone = 0x36EC;
inline constexpr std::uint16_t kDialogPacks = 0x36ED;
inline constexpr std::uint16_t kDialogReference = 0x36EE;
inline constexpr std::uint16_t kDialogFile = 0x36EF;
inline constexpr std::uint16_t kDialogHtml = 0x36F0;
inline constexpr std::uint16_t kDialogLogs = 0x36F1;
inline constexpr std::uint16_t kDialogMake = 0x36F2;
inline constexpr std::uint16_t kSaved = 0x36F3;
inline constexpr std::uint16_t kVoltageCurrentChart = 0x36F4;
inline constexpr std::uint16_t kLogsNotRead = 0x36F5;
inline constexpr std::uint16_t kLimitsNotRead = 0x36F6;
inline constexpr std::uint16_t kRuleSpread = 0x36F7;
inline constexpr std::uint16_t kRuleTemperature = 0x36F8;
inline constexpr std::uint16_t kRuleProtection = 0x36F9;
inline constexpr std::uint16_t kRuleClock = 0x36FA;
inline constexpr std::uint16_t kRuleVersion = 0x36FB;
inline constexpr std::uint16_t kRuleSoh = 0x36FC;
inline constexpr std::uint16_t kCancelled = 0x36FD;
inline constexpr std::uint16_t kBrowse = 0x36FE;
inline constexpr std::uint16_t kCellTemperature = 0x36FF;
inline constexpr std::uint16_t kIncomplete = 0x3720;
inline constexpr std::uint16_t kNotRead = 0x3721;
inline constexpr std::uint16_t kNotTried = 0x3722;
inline constexpr std::uint16_t kPortLost = 0x3723;
inline constexpr std::uint16_t kReferenceNotRead = 0x3724;
inline constexpr std::uint16_t kSavedIncomplete = 0x3725;
inline constexpr std::uint16_t kPortLostNotSaved = 0x3726;
inline constexpr std::uint16_t kNoPackNoFile = 0x3727;
inline constexpr std::uint16_t kNoParameters = 0x3810;
inline constexpr std::uint16_t kReadAnalog = 0x3730;
inline constexpr std::uint16_t kReadAlarm = 0x3731;
inline constexpr std::uint16_t kReadParameters = 0x3732;
inline constexpr std::uint16_t kReadWorkLog = 0x3733;
inline constexpr std::uint16_t kReadAlarmLog = 0x3734;
inline constexpr std::uint16_t kReadClock = 0x3735;
inline constexpr std::uint16_t kReadDeviceInfo = 0x3736;
inline constexpr std::uint16_t kAnswerEndsEarly = 0x3737;
// The names of the reads, by CID2, for "what could not be read".
inline constexpr std::uint16_t kReadNames[][2] = {
    {0x42, kReadAnalog}, {0x44, kReadAlarm},   {0x47, kReadParameters}, {0x4B, kReadWorkLog},
    {0x4C, kReadAlarmLog}, {0x4D, kReadClock}, {0x51, kReadDeviceInfo},
};


// Texts of the pages that the report shares.
inline constexpr std::uint16_t kCancelButton = 0x3502;
inline constexpr std::uint16_t kTemperature = 0x3517;
inline constexpr std::uint16_t kAddress = 0x3520;
inline constexpr std::uint16_t kPackNumber = 0x3522;
inline constexpr std::uint16_t kCurrent = 0x6005;
inline constexpr std::uint16_t kTime = 0x6002;
inline constexpr std::uint16_t kAlarmMessage = 0x6007;
inline constexpr std::uint16_t kAmbient = 0x600A;
inline constexpr std::uint16_t kPackVoltage = 0x6011;
inline constexpr std::uint16_t kRemaining = 0x6013;
inline constexpr std::uint16_t kFullCapacity = 0x6014;
inline constexpr std::uint16_t kDesignCapacity = 0x7008;
inline constexpr std::uint16_t kCycleCount = 0x7009;
inline constexpr std::uint16_t kBarCode = 0x700F;
inline constexpr std::uint16_t kSoftwareVersion = 0x3623;

} // namespace ReportText
