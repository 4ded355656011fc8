#pragma once

#include <cstdint>

// Names for the text ids of the text service that are shared across the
// program. Every id named here has a row in src/services/texts/ui.tsv; a
// test keeps it so.
namespace TextId {

// Main window: language buttons, clock sync, password row, log options.
inline constexpr std::uint16_t kChineseVersion = 0x0101;
inline constexpr std::uint16_t kEnglishVersion = 0x0102;
inline constexpr std::uint16_t kAutoTimeSync = 0x0103;
inline constexpr std::uint16_t kEnterPassword = 0x5070;
inline constexpr std::uint16_t kChangePasswordButton = 0x5071;
inline constexpr std::uint16_t kShowRecords = 0x702C;
inline constexpr std::uint16_t kAutoSave = 0x702D;
inline constexpr std::uint16_t kAutoScroll = 0x702E;
inline constexpr std::uint16_t kTabCommunication = 0x8001;

// Application title and further title texts (InitTitleTexts).
inline constexpr std::uint16_t kAppTitle = 0x0201;
inline constexpr std::uint16_t kTitleText3 = 0x0203;
inline constexpr std::uint16_t kTitleText4 = 0x0204;
inline constexpr std::uint16_t kTitleText5 = 0x0205;

// Messages and captions shared by all pages.
inline constexpr std::uint16_t kMessageCaption = 0x3500;
inline constexpr std::uint16_t kOk = 0x3501;
inline constexpr std::uint16_t kCancel = 0x3502;
inline constexpr std::uint16_t kPortNotOpen = 0x3503;
inline constexpr std::uint16_t kOperationSucceeded = 0x3504;
inline constexpr std::uint16_t kReadRecords = 0x3505;
inline constexpr std::uint16_t kStopReading = 0x3506;
inline constexpr std::uint16_t kExport = 0x3507;
inline constexpr std::uint16_t kReadingFinished = 0x3508;
inline constexpr std::uint16_t kRead = 0x3509;
inline constexpr std::uint16_t kWrite = 0x350A;
inline constexpr std::uint16_t kDeleteData = 0x350B;
inline constexpr std::uint16_t kDeleteAlarms = 0x350C;
inline constexpr std::uint16_t kConfirmExit = 0x350D;
inline constexpr std::uint16_t kNoSerialPort = 0x350E;
inline constexpr std::uint16_t kOpenPort = 0x350F;
inline constexpr std::uint16_t kClosePort = 0x3510;
inline constexpr std::uint16_t kPasswordChanged = 0x3513;
inline constexpr std::uint16_t kLinkGroup = 0x3514;
inline constexpr std::uint16_t kPortGroup = 0x3515;
inline constexpr std::uint16_t kBatteryInfo = 0x3516;
inline constexpr std::uint16_t kTemperatureCaption = 0x3517;
inline constexpr std::uint16_t kCellVoltageCaption = 0x3518;
inline constexpr std::uint16_t kTabLiveMonitor = 0x3519;
inline constexpr std::uint16_t kTabParallelMonitor = 0x351A;
inline constexpr std::uint16_t kTabParameters = 0x351B;
inline constexpr std::uint16_t kTabSystemConfig = 0x351C;
inline constexpr std::uint16_t kTabDataRecords = 0x351D;
inline constexpr std::uint16_t kTabAlarmRecords = 0x351E;
inline constexpr std::uint16_t kPackCountLabel = 0x351F;
inline constexpr std::uint16_t kAddressLabel = 0x3520;
inline constexpr std::uint16_t kPackNumberLabel = 0x3522;
inline constexpr std::uint16_t kDelete = 0x3523;
inline constexpr std::uint16_t kTabRealTimeData = 0x3528;
inline constexpr std::uint16_t kForcedShutdown = 0x3529;
inline constexpr std::uint16_t kConfirmForcedShutdown = 0x352A;
inline constexpr std::uint16_t kOtherGroup = 0x352B;
inline constexpr std::uint16_t kHumidity = 0x352C;
// Status-bar reports of the real-time logs' automatic saving.
inline constexpr std::uint16_t kAutoSaveFailed = 0x3530;
inline constexpr std::uint16_t kAutoSavedElsewhere = 0x3531;

// Real-time logs and exports.
inline constexpr std::uint16_t kClearData = 0x702F;
inline constexpr std::uint16_t kConfirmExport = 0x7107;
inline constexpr std::uint16_t kNothingToExport = 0x7108;

// Record pages.
inline constexpr std::uint16_t kConfirmReadRecords = 0x600E;
inline constexpr std::uint16_t kConfirmStopReading = 0x600F;
// The pack stopped answering during a record transfer; %1 records read.
inline constexpr std::uint16_t kPackStoppedAnswering = 0x6020;

// Password change dialog.
inline constexpr std::uint16_t kPasswordDialogTitle = 0x5073;
inline constexpr std::uint16_t kOldPassword = 0x5074;
inline constexpr std::uint16_t kNewPassword = 0x5075;
inline constexpr std::uint16_t kRepeatNewPassword = 0x5076;
inline constexpr std::uint16_t kWrongPassword = 0x5077;
inline constexpr std::uint16_t kEnterNewPassword = 0x5078;
inline constexpr std::uint16_t kPasswordTooShort = 0x5079;
inline constexpr std::uint16_t kPasswordsDiffer = 0x507A;
inline constexpr std::uint16_t kPasswordNotSaved = 0x507B;

// Configuration page: values refused before anything is sent.
inline constexpr std::uint16_t kNotANumber = 0x7050;
inline constexpr std::uint16_t kIntervalRange = 0x7051;
inline constexpr std::uint16_t kCapacityRange = 0x7052;
inline constexpr std::uint16_t kPackCountRange = 0x7053;
inline constexpr std::uint16_t kCalibrationOutOfRange = 0x7054;
inline constexpr std::uint16_t kCalibrationDecimals = 0x7055;
inline constexpr std::uint16_t kInvalidPackClock = 0x7056;
inline constexpr std::uint16_t kCycleRange = 0x7057;
inline constexpr std::uint16_t kCalibrationNotWhole = 0x7058;

// Traffic console.
inline constexpr std::uint16_t kTrafficConsole = 0x3610;
inline constexpr std::uint16_t kTrafficPause = 0x3611;
inline constexpr std::uint16_t kTrafficCopy = 0x3612;
inline constexpr std::uint16_t kTrafficSaveAs = 0x3613;
inline constexpr std::uint16_t kTrafficClear = 0x3614;
inline constexpr std::uint16_t kTrafficAll = 0x3615;
inline constexpr std::uint16_t kTrafficAddress = 0x3616;
inline constexpr std::uint16_t kTrafficCommand = 0x3617;
inline constexpr std::uint16_t kTrafficSent = 0x3618;
inline constexpr std::uint16_t kTrafficAnswered = 0x3619;
inline constexpr std::uint16_t kTrafficElapsed = 0x361A;
inline constexpr std::uint16_t kTrafficResult = 0x361B;
inline constexpr std::uint16_t kTrafficRequest = 0x361C;
inline constexpr std::uint16_t kTrafficAnswer = 0x361D;
inline constexpr std::uint16_t kTrafficCannotWrite = 0x361E;
inline constexpr std::uint16_t kTrafficTextFiles = 0x361F;

// Bus scan: the window's Scan button and its dialog.
inline constexpr std::uint16_t kScanButton = 0x3620;
inline constexpr std::uint16_t kScanTitle = 0x3621;
inline constexpr std::uint16_t kScanBarCode = 0x3622;
inline constexpr std::uint16_t kScanVersion = 0x3623;
inline constexpr std::uint16_t kScanPackNumber = 0x3624;
inline constexpr std::uint16_t kScanAsking = 0x3625;         // %1: address
inline constexpr std::uint16_t kScanFinished = 0x3626;       // %1: how many answered
inline constexpr std::uint16_t kScanCancelled = 0x3627;      // %1: last address asked
inline constexpr std::uint16_t kScanSetPackCount = 0x3628;   // %1: addresses, %2: highest
inline constexpr std::uint16_t kScanNoneAnswered = 0x3629;   // %1, %2: the range
inline constexpr std::uint16_t kScanClose = 0x362A;
inline constexpr std::uint16_t kScanCancelling = 0x362B;

// Chart window and the work-data chart.
inline constexpr std::uint16_t kChart = 0x3640;
inline constexpr std::uint16_t kChartPack = 0x3641;
inline constexpr std::uint16_t kChartVoltage = 0x3642;
inline constexpr std::uint16_t kChartCurrent = 0x3643;
inline constexpr std::uint16_t kChartSoc = 0x3644;
inline constexpr std::uint16_t kChartLowestCell = 0x3645;
inline constexpr std::uint16_t kChartHighestCell = 0x3646;
inline constexpr std::uint16_t kChartCellSpread = 0x3647;
inline constexpr std::uint16_t kChartZoomIn = 0x3648;
inline constexpr std::uint16_t kChartZoomOut = 0x3649;
inline constexpr std::uint16_t kChartEarlier = 0x364A;
inline constexpr std::uint16_t kChartLater = 0x364B;
inline constexpr std::uint16_t kChartShowAll = 0x364C;
inline constexpr std::uint16_t kChartSavePng = 0x364D;
inline constexpr std::uint16_t kChartPngFiles = 0x364E;
inline constexpr std::uint16_t kChartTime = 0x364F;
inline constexpr std::uint16_t kRecordChart = 0x3650;
inline constexpr std::uint16_t kChartReadings = 0x3651;
inline constexpr std::uint16_t kChartCellMv = 0x3652;
// The mark of an adapter's echo that the traffic console and --trace show.
inline constexpr std::uint16_t kTrafficEchoSkipped = 0x3670;

// Texts refused before they go to a pack or into the store.
inline constexpr std::uint16_t kNotPlainText = 0x3660;      // %1: field, %2: the text quoted
inline constexpr std::uint16_t kPasswordTooLong = 0x3661;   // %1: the longest password kept

inline constexpr std::uint16_t kForeignAnswer = 0x3700;
inline constexpr std::uint16_t kCalibrationGivenSent = 0x3701;
inline constexpr std::uint16_t kPortWentAwayOnPage = 0x3702;
inline constexpr std::uint16_t kPortWentAway = 0x3703;
// A result code the pack itself sent, apart from the same code made by the
// host's answer check. %1: the code in hex, %2: its text.
inline constexpr std::uint16_t kPackReturnCode = 0x370A;
// A failure named with the port it happened on. %1: the result's text,
// %2: the port ("COM1 (/dev/ttyS0)").
inline constexpr std::uint16_t kResultOnPort = 0x370B;
// The same for a code that has no text. %1: the code in hex.
inline constexpr std::uint16_t kPackReturnCodeOnly = 0x370C;
// The status bar's mark on values left on screen after the port went away.
inline constexpr std::uint16_t kValuesAsOf = 0x37F0;   // %1: the time the port went away
// A run over all packs' logs that was stopped: the packs whose whole log came.
inline constexpr std::uint16_t kReadingStoppedPacksDone = 0x3800;
inline constexpr std::uint16_t kNoPacks = 0x3801;   // an empty list of packs

// The monitoring outputs dialog and what the window says of the outputs.
inline constexpr std::uint16_t kMonitoringTitle = 0x3850;
inline constexpr std::uint16_t kMetricsServe = 0x3851;
inline constexpr std::uint16_t kMetricsAddress = 0x3852;
inline constexpr std::uint16_t kMetricsStaleAfter = 0x3853;
inline constexpr std::uint16_t kInfluxWrite = 0x3854;
inline constexpr std::uint16_t kInfluxUrl = 0x3855;
inline constexpr std::uint16_t kInfluxDatabase = 0x3856;
inline constexpr std::uint16_t kInfluxToken = 0x3857;
inline constexpr std::uint16_t kSpoolLimitMb = 0x3858;
inline constexpr std::uint16_t kMetricsAddressInvalid = 0x3859;   // %1: the address given
inline constexpr std::uint16_t kMetricsNotServed = 0x385A;        // %1: the reason
inline constexpr std::uint16_t kInfluxUrlInvalid = 0x385B;        // %1: the URL given
inline constexpr std::uint16_t kInfluxNotWritten = 0x385C;        // %1: the reason
inline constexpr std::uint16_t kMonitoringNotSaved = 0x385D;      // %1: the settings file
inline constexpr std::uint16_t kMetricsServing = 0x385E;          // %1: the URL served
inline constexpr std::uint16_t kInfluxCounts = 0x385F;            // %1 sent, %2 spooled, %3 dropped
// The button that opens the dialog, short for the tight bottom row.
inline constexpr std::uint16_t kMonitoringButton = 0x3860;
// MQTT in the outputs dialog, and the outputs' events in the status bar.
inline constexpr std::uint16_t kMqttPublish = 0x38A0;
inline constexpr std::uint16_t kMqttBrokerUrl = 0x38A1;
inline constexpr std::uint16_t kMqttUser = 0x38A2;
inline constexpr std::uint16_t kMqttPasswordFile = 0x38A3;
inline constexpr std::uint16_t kMqttPrefix = 0x38A4;
inline constexpr std::uint16_t kMqttRetain = 0x38A5;
inline constexpr std::uint16_t kMqttDiscovery = 0x38A6;
inline constexpr std::uint16_t kMqttUrlInvalid = 0x38A7;   // %1: the reason
inline constexpr std::uint16_t kMqttNotStarted = 0x38A8;        // %1: the reason
inline constexpr std::uint16_t kMqttConnected = 0x38A9;         // %1: the broker
inline constexpr std::uint16_t kMqttUnreachable = 0x38AA;       // %1: the broker %2: why
inline constexpr std::uint16_t kInfluxUnreachable = 0x38AB;     // %1: the server %2: why
inline constexpr std::uint16_t kInfluxBack = 0x38AC;            // %1: the server
inline constexpr std::uint16_t kInfluxRefused = 0x38AD;         // %1: the server %2: its answer %3: lines refused so far
inline constexpr std::uint16_t kInfluxSpoolFull = 0x38AE;       // %1: the spool
inline constexpr std::uint16_t kInfluxSpoolFailed = 0x38AF;     // %1: why
inline constexpr std::uint16_t kOutputFellBehind = 0x38B0;      // %1: the output
inline constexpr std::uint16_t kOutputsEvents = 0x38B1;
// Listening to a bus another master polls: the choice beside the port
// button, the status bar while listening, and the refusal of anything that
// would send.
inline constexpr std::uint16_t kListenOnly = 0x3830;
inline constexpr std::uint16_t kListeningNothingSent = 0x3831;
inline constexpr std::uint16_t kRefusedWhileListening = 0x3832;
inline constexpr std::uint16_t kListenOnlyHint = 0x3833;
// The traffic console's mark on an exchange heard, not sent.
inline constexpr std::uint16_t kTrafficHeard = 0x3834;
// A page whose command waits for the pack's answer (the note over the page).
inline constexpr std::uint16_t kWaitingForPack = 0x38C0;
// The question before switching a pack's charge or discharge FET off.
inline constexpr std::uint16_t kConfirmFetOff = 0x38C1;   // %1: the switch's caption

// Other makers' packs (0x38D0-0x38FF).
inline constexpr std::uint16_t kForeignFamilyRefused = 0x38D0;   // %1: pack number, %2: family
inline constexpr std::uint16_t kFamilyCaption = 0x38D1;          // "Family"
// What the window shows of them: temperature names, the caption of their
// status bytes, one text per status byte name (%1: its number where the
// family numbers them) and why the scan found no family.
inline constexpr std::uint16_t kBoardTemperature = 0x38D2;
inline constexpr std::uint16_t kMosfetTemperature = 0x38D3;
inline constexpr std::uint16_t kCellSensor = 0x38D4;
inline constexpr std::uint16_t kFamilyStatusCaption = 0x38D5;
inline constexpr std::uint16_t kStatusByte = 0x38D6;
inline constexpr std::uint16_t kCellFaults = 0x38D7;
inline constexpr std::uint16_t kAlarmEvent = 0x38D8;
inline constexpr std::uint16_t kSwitchState = 0x38D9;
inline constexpr std::uint16_t kBalancingByte = 0x38DA;
inline constexpr std::uint16_t kSystemState = 0x38DB;
inline constexpr std::uint16_t kDisconnection = 0x38DC;
inline constexpr std::uint16_t kReservedByte = 0x38DD;
inline constexpr std::uint16_t kBalancingEvent = 0x38DE;
inline constexpr std::uint16_t kVoltageEvent = 0x38DF;
inline constexpr std::uint16_t kTemperatureEvent = 0x38E0;
inline constexpr std::uint16_t kCurrentEvent = 0x38E1;
inline constexpr std::uint16_t kRemainingCapacityAlarm = 0x38E2;
inline constexpr std::uint16_t kFetState = 0x38E3;
inline constexpr std::uint16_t kBalancingState = 0x38E4;
inline constexpr std::uint16_t kProtectionByte = 0x38E5;
inline constexpr std::uint16_t kInstructionByte = 0x38E6;
inline constexpr std::uint16_t kControlByte = 0x38E7;
inline constexpr std::uint16_t kFaultByte = 0x38E8;
inline constexpr std::uint16_t kWarningByte = 0x38E9;
inline constexpr std::uint16_t kScanTwoFamilies = 0x38EA;
inline constexpr std::uint16_t kScanNoFit = 0x38EB;
inline constexpr std::uint16_t kScanPinnedMisfit = 0x38EC;

} // namespace TextId
