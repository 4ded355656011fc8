#pragma once

#include "history/history_record.h"

#include <cstdint>
#include <functional>
#include <optional>

// How a record transfer ended. Only Complete means the whole log: the pack
// sent its end mark and every record came once, in order. A transfer that
// ended any other way holds the first records of the log at most.
enum class HistoryTransferEnd : std::uint8_t {
    Running,    // not ended yet
    Complete,   // the end mark came
    NoAnswer,   // the pack did not answer in time, several requests in a row
    Failed,     // the pack answered without a record too many times in a row
    Stopped,    // the caller stopped it
};

// Reads one log the way the record pages drive it: the first record, then
// the next one after every good answer, the same one again after every
// failed answer, until the end mark. One exchange per Step, so the caller
// can show each record and offer a stop button between them.
class HistoryTransfer {
public:
    // One record exchange with the pack (ReadWorkDataRecord or
    // ReadAlarmRecord with its address and pack number bound).
    using Exchange = std::function<std::uint8_t(std::uint8_t subCommand, std::uint8_t& firstStatus,
                                                std::uint8_t& secondStatus, RHistoryRecord& record)>;

    static constexpr int kNoAnswerLimit = 3;   // missing answers in a row that end a transfer
    // Exchanges in a row without a record (errors, unknown status bytes)
    // that end a transfer: a person can press stop, a script cannot.
    static constexpr int kFailureLimit = 10;

    HistoryTransfer(std::uint8_t packNumber, Exchange exchange);

    // Runs one exchange if the transfer is still running. True when it
    // brought a record, which is then in record (a blank record stamped
    // with the PC clock, filled from the answer).
    bool Step(RHistoryRecord& record);
    // Sends the stop request and ends the transfer, unless it has ended.
    void Stop();

    bool Running() const { return m_end == HistoryTransferEnd::Running; }
    HistoryTransferEnd End() const { return m_end; }
    bool Complete() const { return m_end == HistoryTransferEnd::Complete; }
    int Records() const { return m_records; }
    // The result code of the last failed exchange; 0 when none failed.
    std::uint8_t LastError() const { return m_lastError; }

private:
    std::uint8_t m_packNumber;
    Exchange m_exchange;
    std::uint8_t m_subCommand = HistorySubCommand::kFirst;
    HistoryTransferEnd m_end = HistoryTransferEnd::Running;
    int m_records = 0;
    int m_noAnswers = 0;
    int m_failures = 0;
    std::uint8_t m_lastError = 0;
    bool m_hadFailure = false;
    std::optional<RHistoryRecord> m_lastRecord;
};
