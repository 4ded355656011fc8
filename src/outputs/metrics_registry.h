#pragma once

#include "store/pack_sample.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

// The latest readings of every pack for a Prometheus scrape. The polling
// thread hands each pack's turn in (PackSampled); the server's thread renders
// the text exposition format (Render). Each pack's state is replaced whole
// under one lock, so a scrape sees a pack's old or new reading, never half
// of each.
//
// Values are written as exact decimals (no double in between). A field the
// pack's answer did not carry is not a number and is not served; readings
// older than the staleness period are dropped (the pack stopped answering),
// while bms_pack_up stays, at 0.
class MetricsRegistry final : public IPackSampleSink {
public:
    static constexpr std::chrono::seconds kDefaultStaleAfter{60};

    explicit MetricsRegistry(std::chrono::seconds staleAfter = kDefaultStaleAfter);

    // Polling thread: copies what it needs and returns.
    void PackSampled(const RPackSample& sample) override;
    // Any thread. now decides what is stale.
    QByteArray Render(const QDateTime& now) const;
    QByteArray Render() const { return Render(QDateTime::currentDateTimeUtc()); }

    std::chrono::seconds StaleAfter() const { return m_staleAfter; }

private:
    struct PackState {
        QString barCode;
        std::optional<PackFamily> family;   // as the last readings were decoded
        bool up = false;
        std::optional<QDateTime> lastAnswer;
        std::optional<RAnalogData> analog;
        QDateTime analogTime;
        std::optional<RAlarmData> alarm;
        QDateTime alarmTime;
    };
    // pack, CID2, result
    using ExchangeKey = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t>;

    const std::chrono::seconds m_staleAfter;
    mutable std::mutex m_lock;
    std::map<std::uint8_t, PackState> m_packs;                 // guarded by m_lock
    std::map<ExchangeKey, std::uint64_t> m_exchanges;          // guarded by m_lock
};
