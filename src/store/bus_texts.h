#pragma once

// The texts of the bus-wide jobs, for the window and bmstool alike.

#include "store/bus_jobs.h"

#include <QString>

#include <cstdint>

class TTextOper;

namespace BusText {
inline constexpr std::uint16_t kComparePacks = 0x3680;
inline constexpr std::uint16_t kCompareTitle = 0x3681;
inline constexpr std::uint16_t kPacks = 0x3682;
inline constexpr std::uint16_t kReference = 0x3683;
inline constexpr std::uint16_t kReferenceFile = 0x3684;
inline constexpr std::uint16_t kPack = 0x3685;
inline constexpr std::uint16_t kOnlyDifferences = 0x3686;
inline constexpr std::uint16_t kWriteToPacks = 0x3687;
inline constexpr std::uint16_t kId = 0x3688;
inline constexpr std::uint16_t kParameter = 0x3689;
inline constexpr std::uint16_t kConfirmBatch = 0x368A;
inline constexpr std::uint16_t kWrittenVerified = 0x368B;
inline constexpr std::uint16_t kNotReadNothingWritten = 0x368C;
inline constexpr std::uint16_t kRefusedNothingWritten = 0x368D;
inline constexpr std::uint16_t kWriteFailed = 0x368E;
inline constexpr std::uint16_t kVerifyFailed = 0x368F;
inline constexpr std::uint16_t kNotDone = 0x3690;
inline constexpr std::uint16_t kResult = 0x3691;
inline constexpr std::uint16_t kFieldsChanged = 0x3692;
inline constexpr std::uint16_t kSyncAllClocks = 0x3693;
inline constexpr std::uint16_t kOffsetSeconds = 0x3694;
inline constexpr std::uint16_t kConfirmSyncAll = 0x3695;
inline constexpr std::uint16_t kAllPacks = 0x3696;
inline constexpr std::uint16_t kSilentPacks = 0x3697;
inline constexpr std::uint16_t kBatchSummary = 0x3698;
inline constexpr std::uint16_t kNotRead = 0x3699;
inline constexpr std::uint16_t kLoadFile = 0x369A;
inline constexpr std::uint16_t kFieldsWillChange = 0x369B;
inline constexpr std::uint16_t kClockSummary = 0x369C;
inline constexpr std::uint16_t kPackTime = 0x369D;
inline constexpr std::uint16_t kBadPackList = 0x369E;
inline constexpr std::uint16_t kDifferences = 0x369F;
inline constexpr std::uint16_t kWrittenAnswerLost = 0x36B0;
inline constexpr std::uint16_t kNotWrittenAnswerLost = 0x36B1;
inline constexpr std::uint16_t kNotTried = 0x36B2;
inline constexpr std::uint16_t kPortLost = 0x36B3;
inline constexpr std::uint16_t kReferenceNotRead = 0x36B4;
inline constexpr std::uint16_t kFileIdsCompared = 0x36B5;
inline constexpr std::uint16_t kPacksNotWritten = 0x36BB;
inline constexpr std::uint16_t kClosedDuringWrite = 0x36BC;
inline constexpr std::uint16_t kRecordsPortLost = 0x36BD;
inline constexpr std::uint16_t kPacksNotRead = 0x36BE;
} // namespace BusText

// What became of one pack of a batch write, as the summary shows it: the
// error text of the failing command, or the name of the refused value with
// the parameter page's out-of-range text.
QString BatchStepText(const RPackWriteOutcome& outcome, const TTextOper& texts);

// Why a pack of a bus job has no result: "not tried" (cancelled or closed)
// or "port lost"; empty for a pack that was asked.
QString ReachText(RPackReach reach, const TTextOper& texts);
// Why a pack's set is not among those read: its error text when it was
// asked, otherwise why it was not asked.
QString NotReadText(const RPackParameters& entry, const TTextOper& texts);

// "+12", "-3600", "0": a clock offset in seconds; "?" when unknown.
QString OffsetText(const std::optional<qint64>& seconds);
