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
    // A failure limit of this value keeps a failing transfer running until
    // Stop, for callers that offer a stop button.
    static constexpr int kNoFailureLimit = 0;

    HistoryTransfer(std::uint8_t packNumber, Exchange exchange, int failureLimit = kFailureLimit);

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
    // The result code of the last exchange.
    std::uint8_t LastResult() const { return m_lastResult; }
    // The sub-command the next request sends: first, next or retry.
    std::uint8_t SubCommand() const { return m_subCommand; }
    // Missing answers since the last answer.
    int NoAnswerCount() const { return m_noAnswers; }
    // The status bytes of the last answer without error.
    std::uint8_t FirstStatus() const { return m_firstStatus; }
    std::uint8_t SecondStatus() const { return m_secondStatus; }

private:
    bool FailureLimitReached() const;

    std::uint8_t m_packNumber;
    Exchange m_exchange;
    int m_failureLimit;
    std::uint8_t m_subCommand = HistorySubCommand::kFirst;
    HistoryTransferEnd m_end = HistoryTransferEnd::Running;
    int m_records = 0;
    int m_noAnswers = 0;
    int m_failures = 0;
    std::uint8_t m_lastError = 0;
    std::uint8_t m_lastResult = 0;
    std::uint8_t m_firstStatus = 0;
    std::uint8_t m_secondStatus = 0;
    std::optional<RHistoryRecord> m_lastRecord;
};
