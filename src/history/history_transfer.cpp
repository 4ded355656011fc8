#include "history/history_transfer.h"

#include "protocol/result_codes.h"

HistoryTransfer::HistoryTransfer(std::uint8_t packNumber, Exchange exchange, int failureLimit)
    : m_packNumber(packNumber), m_exchange(std::move(exchange)), m_failureLimit(failureLimit)
{
}

bool HistoryTransfer::Step(RHistoryRecord& record)
{
    if (!Running())
        return false;
    InitWorkDataRecord(m_packNumber, record);
    // Only a retry follows a failed exchange directly.
    const bool afterFailure = m_subCommand == HistorySubCommand::kRetry;
    std::uint8_t firstStatus = 0;
    std::uint8_t secondStatus = 0;
    const std::uint8_t result = m_exchange(m_subCommand, firstStatus, secondStatus, record);
    m_lastResult = result;
    if (result != ResultCode::kSuccess) {
        // The pack keeps its read position: ask for the same record again.
        m_subCommand = HistorySubCommand::kRetry;
        m_lastError = result;
        ++m_failures;
        if (result == ResultCode::kNoAnswer && ++m_noAnswers >= kNoAnswerLimit) {
            m_end = HistoryTransferEnd::NoAnswer;
        } else if (FailureLimitReached()) {
            Stop();
            m_end = HistoryTransferEnd::Failed;
        }
        return false;
    }
    m_subCommand = HistorySubCommand::kNext;
    m_noAnswers = 0;
    m_firstStatus = firstStatus;
    m_secondStatus = secondStatus;
    if (firstStatus == kHistoryEndOfLog) {
        m_end = HistoryTransferEnd::Complete;
        return false;
    }
    if (firstStatus != kHistoryRecordFollows) {
        // Neither a record nor the end: move on, but not for ever.
        ++m_failures;
        if (FailureLimitReached()) {
            Stop();
            m_end = HistoryTransferEnd::Failed;
        }
        return false;
    }
    m_failures = 0;
    // A pack that never heard the request that failed still holds the
    // record it sent last, and the retry brings that one again: it is kept
    // once. Any other repeat is the log's own (two identical records in a
    // row) and kept, also late in a transfer that once failed.
    if (afterFailure && m_lastRecord.has_value() && *m_lastRecord == record)
        return false;
    m_lastRecord = record;
    ++m_records;
    return true;
}

bool HistoryTransfer::FailureLimitReached() const
{
    return m_failureLimit != kNoFailureLimit && m_failures >= m_failureLimit;
}

void HistoryTransfer::Stop()
{
    if (!Running())
        return;
    std::uint8_t firstStatus = 0;
    std::uint8_t secondStatus = 0;
    RHistoryRecord scratch;
    m_exchange(HistorySubCommand::kStop, firstStatus, secondStatus, scratch);
    m_end = HistoryTransferEnd::Stopped;
}
