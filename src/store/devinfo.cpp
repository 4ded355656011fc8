#include "store/devinfo.h"

#include "protocol/decimal.h"
#include "store/bus_worker.h"

#include <QMutexLocker>

#include <algorithm>

TDevInfo::TDevInfo()
    : m_parameterSets(std::make_unique<std::array<RParameter, kMaxPacks>>())
{
}

TDevInfo::~TDevInfo()
{
    // Background jobs talk to the packs through the store: whoever runs
    // them cancels and joins them before the store goes. One still running
    // here would use freed memory a moment later, so this stops at once.
    if (const int running = TBusWorker::LiveJobs(); running != 0)
        qFatal("the pack store is freed while %d background job(s) still run", running);
}

void TDevInfo::InitStore()
{
    InitPackTable();
    // Build the blanks outside the lock; only the copies go in under it.
    std::array<RAnalogData, kMaxPacks> analog;
    std::array<RAlarmData, kMaxPacks> alarm;
    std::array<RLocationData, kMaxPacks> location;
    auto sets = std::make_unique<std::array<RParameter, kMaxPacks>>();
    for (int i = 0; i < kMaxPacks; ++i) {
        const auto packNumber = static_cast<std::uint8_t>(i + 1);
        analog[std::size_t(i)] = InitAnalogData(packNumber);
        alarm[std::size_t(i)] = InitAlarmData(packNumber);
        location[std::size_t(i)] = InitLocationData(packNumber);
        (*sets)[std::size_t(i)] = m_parameterInfo.NewParameterSet(packNumber);
    }
    QMutexLocker locker(&m_lock);
    m_analogData = analog;
    m_alarmData = alarm;
    m_locationData = location;
    m_parameterSets = std::move(sets);
}

void TDevInfo::InitPackTable()
{
    const QDateTime now = QDateTime::currentDateTime();
    QMutexLocker locker(&m_lock);
    for (int i = 0; i < kMaxPacks; ++i) {
        RPackEntry& row = m_packTable[std::size_t(i)];
        row.packNumber = static_cast<std::uint8_t>(i + 1);
        row.address = static_cast<std::uint8_t>(i + 1);
        row.lastAnswer = now;
        row.polled = false;
    }
}

// ---- Pack table.

int TDevInfo::RowOfPack(std::uint8_t packNumber) const
{
    for (int i = 0; i < kMaxPacks; ++i)
        if (m_packTable[std::size_t(i)].packNumber == packNumber)
            return i;
    return -1;
}

RPackEntry TDevInfo::GetPackEntry(int row) const
{
    if (row < 0 || row >= kMaxPacks)
        return {};
    QMutexLocker locker(&m_lock);
    return m_packTable[std::size_t(row)];
}

void TDevInfo::SelectPack(std::uint8_t packNumber)
{
    QMutexLocker locker(&m_lock);
    for (RPackEntry& row : m_packTable)
        row.polled = row.packNumber == packNumber;
}

void TDevInfo::SelectAllPacks()
{
    QMutexLocker locker(&m_lock);
    for (RPackEntry& row : m_packTable)
        row.polled = true;
}

void TDevInfo::SelectPacks(std::span<const std::uint8_t> packNumbers)
{
    QMutexLocker locker(&m_lock);
    for (RPackEntry& row : m_packTable)
        row.polled = std::find(packNumbers.begin(), packNumbers.end(), row.packNumber) != packNumbers.end();
}

bool TDevInfo::IsMultiPackPolling() const
{
    QMutexLocker locker(&m_lock);
    int polled = 0;
    for (const RPackEntry& row : m_packTable)
        polled += row.polled ? 1 : 0;
    return polled > 1;
}

std::uint8_t TDevInfo::PackNumberOfAddress(std::uint8_t address) const
{
    QMutexLocker locker(&m_lock);
    for (const RPackEntry& row : m_packTable)
        if (row.address == address)
            return row.packNumber;
    return 0;
}

void TDevInfo::MarkAnswered(std::uint8_t packNumber, const QDateTime& time)
{
    QMutexLocker locker(&m_lock);
    const int row = RowOfPack(packNumber);
    if (row >= 0)
        m_packTable[std::size_t(row)].lastAnswer = time;
}

bool TDevInfo::IsSilent(std::uint8_t packNumber, const QDateTime& time) const
{
    QDateTime lastAnswer;
    {
        QMutexLocker locker(&m_lock);
        const int row = RowOfPack(packNumber);
        if (row < 0)
            return false;
        lastAnswer = m_packTable[std::size_t(row)].lastAnswer;
    }
    // Whole seconds, rounded, so that 90.4 s still counts as 90.
    const qint64 seconds =
        DivideRounded(lastAnswer.msecsTo(time), 1000, Decimal::Rounding::HalfAwayFromZero);
    return seconds > kSilentSeconds;
}

void TDevInfo::FillPackList(IComboList& combo, int packCount, bool withAuto, std::uint8_t selectedValue) const
{
    const int count = std::clamp(packCount, 0, kMaxPacks);
    std::array<RPackEntry, kMaxPacks> rows;
    {
        QMutexLocker locker(&m_lock);
        rows = m_packTable;
    }
    combo.clearItems();
    for (int i = 0; i < count; ++i) {
        const RPackEntry& row = rows[std::size_t(i)];
        combo.addItem(Decimal::fromInt(row.packNumber).format(u"00"), QString::number(row.address));
    }
    if (withAuto && count > 1)
        combo.addItem(QStringLiteral("Auto"), QString::number(kAutoPackValue));
    combo.selectIndex(0);
    combo.selectValue(QString::number(selectedValue));
}

// ---- Records.

namespace {
template <typename Record>
std::uint8_t PackNumberOf(const Record& record)
{
    return record.packNumber;
}

std::uint8_t PackNumberOf(const RParameter& set)
{
    return set.PackNumber;
}
} // namespace

template <typename Table>
int TDevInfo::SlotOf(const Table& table, std::uint8_t packNumber)
{
    for (int i = 0; i < int(table.size()); ++i)
        if (PackNumberOf(table[std::size_t(i)]) == packNumber)
            return i;
    return -1;
}

void TDevInfo::StoreAnalogData(const RAnalogData& record)
{
    {
        QMutexLocker locker(&m_lock);
        const int slot = SlotOf(m_analogData, record.packNumber);
        if (slot < 0)
            return;
        m_analogData[std::size_t(slot)] = record;
    }
    m_readings.Append(record.packNumber, ReadingPointOf(record));
}

void TDevInfo::StoreAlarmData(const RAlarmData& record)
{
    StoreAlarmData(record, true);
}

void TDevInfo::StoreAlarmData(const RAlarmData& record, bool fromPack)
{
    QMutexLocker locker(&m_lock);
    const int slot = SlotOf(m_alarmData, record.packNumber);
    if (slot >= 0) {
        m_alarmData[std::size_t(slot)] = record;
        m_alarmFromPack[std::size_t(slot)] = fromPack;
    }
}

bool TDevInfo::AlarmDataFromPack(std::uint8_t packNumber) const
{
    if (packNumber == 0)
        return false;
    QMutexLocker locker(&m_lock);
    const int slot = SlotOf(m_alarmData, packNumber);
    return slot >= 0 && m_alarmFromPack[std::size_t(slot)];
}

void TDevInfo::StoreLocationData(const RLocationData& record)
{
    QMutexLocker locker(&m_lock);
    const int slot = SlotOf(m_locationData, record.packNumber);
    if (slot >= 0)
        m_locationData[std::size_t(slot)] = record;
}

// Pack number 0 never matches a slot: slots of a store that InitStore has
// not yet filled carry 0, and a blank record is what the caller should see.
RAnalogData TDevInfo::GetAnalogData(std::uint8_t packNumber) const
{
    if (packNumber != 0) {
        QMutexLocker locker(&m_lock);
        const int slot = SlotOf(m_analogData, packNumber);
        if (slot >= 0)
            return m_analogData[std::size_t(slot)];
    }
    return InitAnalogData(packNumber);
}

RAlarmData TDevInfo::GetAlarmData(std::uint8_t packNumber) const
{
    if (packNumber != 0) {
        QMutexLocker locker(&m_lock);
        const int slot = SlotOf(m_alarmData, packNumber);
        if (slot >= 0)
            return m_alarmData[std::size_t(slot)];
    }
    return InitAlarmData(packNumber);
}

RLocationData TDevInfo::GetLocationData(std::uint8_t packNumber) const
{
    if (packNumber != 0) {
        QMutexLocker locker(&m_lock);
        const int slot = SlotOf(m_locationData, packNumber);
        if (slot >= 0)
            return m_locationData[std::size_t(slot)];
    }
    return InitLocationData(packNumber);
}

RDeviceTime TDevInfo::GetPcTime()
{
    return RDeviceTime::fromDateTime(QDateTime::currentDateTime());
}

// ---- Parameter sets.

void TDevInfo::StoreParameters(const RParameter& set)
{
    if (set.PackNumber == 0)
        return;
    QMutexLocker locker(&m_lock);
    const int slot = SlotOf(*m_parameterSets, set.PackNumber);
    if (slot >= 0)
        (*m_parameterSets)[std::size_t(slot)] = set;
}

RParameter TDevInfo::GetStoredParameters(std::uint8_t packNumber)
{
    if (packNumber != 0) {
        QMutexLocker locker(&m_lock);
        const int slot = SlotOf(*m_parameterSets, packNumber);
        if (slot >= 0)
            return (*m_parameterSets)[std::size_t(slot)];
    }
    return m_parameterInfo.NewParameterSet(packNumber);
}

void TDevInfo::MarkParametersRead(std::uint8_t packNumber, const QDateTime& time)
{
    if (packNumber < 1 || packNumber > kMaxPacks)
        return;
    QMutexLocker locker(&m_lock);
    m_parameterMarks[std::size_t(packNumber - 1)] = {time, true};
}

void TDevInfo::MarkParametersUnread(std::uint8_t packNumber)
{
    if (packNumber < 1 || packNumber > kMaxPacks)
        return;
    QMutexLocker locker(&m_lock);
    m_parameterMarks[std::size_t(packNumber - 1)].writable = false;
}

RParameterReadMark TDevInfo::ParametersReadMark(std::uint8_t packNumber) const
{
    if (packNumber < 1 || packNumber > kMaxPacks)
        return {};
    QMutexLocker locker(&m_lock);
    return m_parameterMarks[std::size_t(packNumber - 1)];
}

// ---- Status fields.

std::uint8_t TDevInfo::CurrentPackNumber() const
{
    return ReadLocked(m_currentPackNumber);
}

void TDevInfo::SetCurrentPackNumber(std::uint8_t packNumber)
{
    WriteLocked(m_currentPackNumber, packNumber);
}

std::uint8_t TDevInfo::CurrentAddress() const
{
    return ReadLocked(m_currentAddress);
}

void TDevInfo::SetCurrentAddress(std::uint8_t address)
{
    WriteLocked(m_currentAddress, address);
}

QString TDevInfo::BarCode() const
{
    return ReadLocked(m_barCode);
}

void TDevInfo::SetBarCode(const QString& barCode)
{
    WriteLocked(m_barCode, barCode);
}

std::uint16_t TDevInfo::SoftwareVersion() const
{
    return ReadLocked(m_softwareVersion);
}

void TDevInfo::SetSoftwareVersion(std::uint16_t version)
{
    WriteLocked(m_softwareVersion, version);
}

std::uint8_t TDevInfo::EchoedPackNumber() const
{
    return ReadLocked(m_echoedPackNumber);
}

void TDevInfo::SetEchoedPackNumber(std::uint8_t packNumber)
{
    WriteLocked(m_echoedPackNumber, packNumber);
}

std::uint8_t TDevInfo::LastResult() const
{
    return ReadLocked(m_lastResult);
}

void TDevInfo::SetLastResult(std::uint8_t result)
{
    WriteLocked(m_lastResult, result);
}

void TDevInfo::ClearStatus()
{
    QMutexLocker locker(&m_lock);
    m_currentPackNumber = 0;
    m_currentAddress = 0;
    m_barCode.clear();
    m_softwareVersion = 0;
    m_echoedPackNumber = 0;
    m_lastResult = 0;
}
