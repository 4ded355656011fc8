#pragma once

#include "history/history_record.h"
#include "params/parameter_commands.h"
#include "params/parameter_info.h"
#include "protocol/combo_list.h"
#include "protocol/devoper.h"
#include "protocol/records.h"
#include "services/textoper.h"
#include "store/bus_hold.h"
#include "store/reading_history.h"

#include <QDateTime>
#include <QMutex>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

// One row of the pack table.
struct RPackEntry {
    std::uint8_t packNumber = 0;
    std::uint8_t address = 0;     // the frame address; equals the pack number
    QDateTime lastAnswer;         // PC clock of the last command answered with 0
    bool polled = false;          // the polling thread visits this pack

    friend bool operator==(const RPackEntry&, const RPackEntry&) = default;
};

// When a pack's stored parameter set was last read from it, and whether it
// may still be written back (no write and no failed read since).
struct RParameterReadMark {
    QDateTime readAt;        // invalid: never read in this run
    bool writable = false;

    friend bool operator==(const RParameterReadMark&, const RParameterReadMark&) = default;
};

// The one place where every pack's latest data lives, and the object through
// which the pages and the polling thread talk to the packs.
//
// Threads: the polling thread writes records and status fields while the
// user-interface thread reads them. Every table and status field is guarded
// by one store lock; readers get whole copies, never references. The store
// lock is never held while an exchange runs: a façade prepares its outputs,
// runs the command (TDevOper serialises exchanges with its own link lock) and
// only then files the answer under the store lock.
class TDevInfo {
public:
    static constexpr std::uint8_t kAutoPackValue = 255;
    // More than this many whole seconds without an answer make a pack silent.
    static constexpr qint64 kSilentSeconds = 90;

    TDevInfo();
    ~TDevInfo();
    TDevInfo(const TDevInfo&) = delete;
    TDevInfo& operator=(const TDevInfo&) = delete;

    // Called once after construction: catalogue, pack table and a blank
    // record and the default parameter set for packs 1-16.
    void InitStore();
    void InitPackTable();

    TDevOper& DevOper() { return m_devOper; }
    // The catalogue rebuilds itself for every new set, so it belongs to the
    // user-interface thread; the polling thread never touches it.
    TParameterInfo& ParameterInfo() { return m_parameterInfo; }
    const TTextOper& TextOper() const { return m_textOper; }

    // ---- Pack table.
    RPackEntry GetPackEntry(int row) const;           // row 0-15; blank row otherwise
    void SelectPack(std::uint8_t packNumber);
    void SelectAllPacks();
    // Polls exactly the rows of these pack numbers (the command line's list).
    void SelectPacks(std::span<const std::uint8_t> packNumbers);
    bool IsMultiPackPolling() const;
    std::uint8_t PackNumberOfAddress(std::uint8_t address) const;
    void MarkAnswered(std::uint8_t packNumber, const QDateTime& time);
    bool IsSilent(std::uint8_t packNumber, const QDateTime& time) const;
    void FillPackList(IComboList& combo, int packCount, bool withAuto, std::uint8_t selectedValue) const;

    // ---- Records. Get… returns a copy, or a blank record for an unknown pack.
    static RAnalogData InitAnalogData(std::uint8_t packNumber) { return ::InitAnalogData(packNumber); }
    static RAlarmData InitAlarmData(std::uint8_t packNumber) { return ::InitAlarmData(packNumber); }
    static RLocationData InitLocationData(std::uint8_t packNumber) { return ::InitLocationData(packNumber); }
    // Also files the reading in the pack's reading history.
    void StoreAnalogData(const RAnalogData& record);
    void StoreAlarmData(const RAlarmData& record);
    // fromPack: false for the blank record filed after a failed read.
    void StoreAlarmData(const RAlarmData& record, bool fromPack);
    // Whether the pack's stored alarm record is one the pack sent (read or
    // heard), not the blank one of a pack not heard yet or of a failed read.
    bool AlarmDataFromPack(std::uint8_t packNumber) const;
    void StoreLocationData(const RLocationData& record);
    RAnalogData GetAnalogData(std::uint8_t packNumber) const;
    RAlarmData GetAlarmData(std::uint8_t packNumber) const;
    RLocationData GetLocationData(std::uint8_t packNumber) const;
    static RDeviceTime GetPcTime();
    // The last day of readings of every pack (it has a lock of its own).
    const TReadingHistory& Readings() const { return m_readings; }
    TReadingHistory& Readings() { return m_readings; }
    static void ClearProductInfo(RProductInfo& info) { info = RProductInfo{}; }
    static std::uint8_t GetBit(std::uint8_t value, int bit) { return TDevOper::GetBit(value, bit); }
    static bool IsSet(std::uint8_t value) { return TDevOper::IsSet(value); }

    // ---- Parameter sets, one per pack.
    // Copies the set into the slot of the same pack number; nothing if none.
    void StoreParameters(const RParameter& set);
    // A fresh default set for the pack, or the stored one when there is a slot.
    RParameter GetStoredParameters(std::uint8_t packNumber);
    // Whether the stored set of a pack may be written back: it was read from
    // that pack, and nothing has written the pack since. Any window that
    // writes a pack's block (the page, a batch write) clears it, and so does
    // a failed read; only a successful read sets it.
    void MarkParametersRead(std::uint8_t packNumber, const QDateTime& time);
    void MarkParametersUnread(std::uint8_t packNumber);
    RParameterReadMark ParametersReadMark(std::uint8_t packNumber) const;

    // ---- Status of the pack being polled (written by the polling thread).
    std::uint8_t CurrentPackNumber() const;
    void SetCurrentPackNumber(std::uint8_t packNumber);
    std::uint8_t CurrentAddress() const;
    void SetCurrentAddress(std::uint8_t address);
    QString BarCode() const;
    void SetBarCode(const QString& barCode);
    std::uint16_t SoftwareVersion() const;
    void SetSoftwareVersion(std::uint16_t version);
    std::uint8_t EchoedPackNumber() const;
    void SetEchoedPackNumber(std::uint8_t packNumber);
    std::uint8_t LastResult() const;
    void SetLastResult(std::uint8_t result);
    // Back to no pack, no code, no version (the port was closed).
    void ClearStatus();

    // ---- Helpers of the views (pure; the texts come from the text service).
    static CellExtreme MaxCellVoltage(const RAnalogData& record) { return ::MaxCellVoltage(record); }
    static CellExtreme MinCellVoltage(const RAnalogData& record) { return ::MinCellVoltage(record); }
    static CellExtreme MaxCellVoltage(const std::array<std::uint16_t, kMaxCells>& cells);
    static CellExtreme MinCellVoltage(const std::array<std::uint16_t, kMaxCells>& cells);
    static QString StatusMark(std::uint8_t state);
    QString AlarmText(const RAlarmData& record) const;
    QString ProtectionText(const RAlarmData& record) const;
    static QString AlarmText(const RAlarmData& record, const TTextOper& texts);
    static QString ProtectionText(const RAlarmData& record, const TTextOper& texts);
    static QString GetModeText(std::uint8_t mode) { return ::GetModeText(mode); }
    // Temperature sensors for calibration: "01".."count" (values 1..count,
    // at most 4), then the ambient sensor (value 5) and "FET" (value 6).
    void FillSensorList(IComboList& combo, int count) const;

    // ---- Serial link.
    void InitSerial(std::uint8_t portNumber) { m_devOper.InitSerial(portNumber); }
    bool OpenSerial(std::uint8_t portNumber) { return m_devOper.OpenSerial(portNumber); }
    void CloseSerial(std::uint8_t portNumber) { m_devOper.CloseSerial(portNumber); }
    bool IsSerialOpen(std::uint8_t portNumber) const { return m_devOper.IsSerialOpen(portNumber); }
    bool IsLinkOpen() const { return m_devOper.IsLinkOpen(); }
    bool PortCanVanish(std::uint8_t portNumber) const { return m_devOper.PortCanVanish(portNumber); }
    // Taken by a bus-wide job so that the polling thread leaves it the link.
    TBusHold& BusHold() const { return m_busHold; }
    // What a bus another master polls carries (TDevOper::Listen): sends nothing.
    QByteArray Listen(std::chrono::milliseconds upTo, const std::function<bool()>& giveUp)
    {
        return m_devOper.Listen(upTo, giveUp);
    }
    void FillPortList(IComboList& combo, std::uint8_t selectedPort, bool allPorts) const
    {
        m_devOper.FillPortList(combo, selectedPort, allPorts);
    }

    // ---- Pack families: what is known of each address's family, kept by the
    // link object, whose guard refuses everything but a family's reads to a
    // pack not confirmed as ours.
    RPackFamilyState FamilyState(std::uint8_t address) const { return m_devOper.FamilyState(address); }
    void PinFamily(std::uint8_t address, PackFamily family) { m_devOper.PinFamily(address, family); }
    RPackFamilyState DetectFamily(std::uint8_t address, int windowMs)
    {
        return m_devOper.DetectFamily(address, windowMs);
    }
    std::uint8_t ReadFamilyIdentity(std::uint8_t address, RFamilyIdentity& identity)
    {
        return m_devOper.ReadFamilyIdentity(address, identity);
    }
    void SetFamilySettings(const RFamilySettings& settings) { m_devOper.SetFamilySettings(settings); }
    RFamilySettings FamilySettings() const { return m_devOper.FamilySettings(); }

    // ---- Commands that also file their answer into the tables.
    // The two live reads learn the family of an address not known yet: when
    // our 0x42 does not confirm ours (silence, a VER error, a layout of
    // another maker), the pack is asked in every family's form
    // (TDevOper::DetectFamily) and, once a family is found, read again in
    // its form. An address left unknown is asked again only after
    // kRedetectAfter. Nothing from an address whose family is not known is
    // ever filed: a sound answer from it gives ResultCode::kFamilyUnknown.
    // Stores the pack's record only on success.
    std::uint8_t ReadAnalogData(std::uint8_t address, std::uint8_t packNumber, std::uint8_t& echoedPack);
    // Store the pack's record whatever the result: blank after a failure.
    std::uint8_t ReadAlarmData(std::uint8_t address, std::uint8_t packNumber);
    // A silent address would cost every family's reply window on every pass
    // if it were asked in all of them each time; a minute keeps a pack
    // switched on late from waiting long to be found.
    static constexpr std::chrono::seconds kRedetectAfter{60};
    using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;
    // Before any command runs (tests): the clock kRedetectAfter is measured on.
    void SetDetectionClock(SteadyNow now) { m_detectionClock = std::move(now); }
    std::uint8_t ReadLocationInfo(std::uint8_t address, std::uint8_t packNumber);

    // ---- Every other command, passed to the link object unchanged.
    std::uint8_t ReadParameters(std::uint8_t address, std::uint8_t packNumber, RParameter& set);
    RParameterWriteResult WriteParameters(std::uint8_t address, std::uint8_t packNumber, const RParameter& set,
                                          bool restoreDefaults);
    std::uint8_t ReadWorkDataRecord(std::uint8_t address, std::uint8_t packNumber, std::uint8_t subCommand,
                                    std::uint8_t& firstStatus, std::uint8_t& secondStatus, RHistoryRecord& record);
    std::uint8_t ReadAlarmRecord(std::uint8_t address, std::uint8_t packNumber, std::uint8_t subCommand,
                                 std::uint8_t& firstStatus, std::uint8_t& secondStatus, RHistoryRecord& record);
    static void InitWorkDataRecord(std::uint8_t packNumber, RHistoryRecord& record)
    {
        ::InitWorkDataRecord(packNumber, record);
    }
    static void InitAlarmRecord(std::uint8_t packNumber, RHistoryRecord& record)
    {
        ::InitAlarmRecord(packNumber, record);
    }
    std::uint8_t ReadDateTime(std::uint8_t address, RDeviceTime& time);
    std::uint8_t WriteDateTime(std::uint8_t address, const RDeviceTime& time);
    std::uint8_t ReadDeviceInfo(std::uint8_t address, std::uint16_t& softwareVersion, QString& deviceName,
                                QString& manufacturer, std::uint16_t& number1, std::uint8_t& number2);
    std::uint8_t ReadPackQuantity(std::uint8_t address, std::uint8_t& packs);
    std::uint8_t WritePackQuantity(std::uint8_t address, std::uint8_t packs);
    std::uint8_t WriteRecordTime(std::uint8_t address, std::uint8_t packNumber, std::uint8_t startHour,
                                 std::uint8_t startMinute, std::uint8_t endHour, std::uint8_t endMinute,
                                 std::uint16_t intervalSeconds);
    std::uint8_t WriteFunctionSwitches(std::uint8_t address, std::uint8_t packNumber, std::uint16_t switches,
                                       std::uint16_t& switchesInForce);
    std::uint8_t DeleteAlarmRecords(std::uint8_t address, std::uint8_t packNumber);
    std::uint8_t DeleteWorkData(std::uint8_t address, std::uint8_t packNumber);
    std::uint8_t ReadCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t& designMah,
                              std::int32_t& fullMah, std::int32_t& remainingMah);
    std::uint8_t WriteCapacity(std::uint8_t address, std::uint8_t packNumber, std::int32_t designMah,
                               std::int32_t fullMah, std::int32_t remainingMah);
    std::uint8_t WriteCycleTime(std::uint8_t address, std::uint8_t packNumber, std::uint16_t cycles);
    std::uint8_t ReadBarCode(std::uint8_t address, std::uint8_t packNumber, QString& barCode);
    std::uint8_t WriteBarCode(std::uint8_t address, std::uint8_t packNumber, const QString& barCode);
    std::uint8_t ReadDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber, Decimal& capacityAh,
                                           Decimal& energyKwh);
    std::uint8_t WriteDischargeAccumulating(std::uint8_t address, std::uint8_t packNumber, Decimal capacityAh,
                                            Decimal energyKwh);
    std::uint8_t ReadCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                 std::uint8_t item, Decimal& first, Decimal& second);
    std::uint8_t WriteCalibration(std::uint8_t address, std::uint8_t packNumber, std::uint8_t kind,
                                  std::uint8_t item, bool reset, Decimal first, Decimal second);
    std::uint8_t EnterSleep(std::uint8_t address, std::uint8_t packNumber);
    std::uint8_t ReadProductInfo(std::uint8_t address, std::uint8_t packNumber, RProductInfo& info);
    std::uint8_t WriteProductInfo(std::uint8_t address, std::uint8_t packNumber, const RProductInfo& info);
    std::uint8_t AccessBatteryShield(std::uint8_t address, std::uint8_t packNumber, bool write,
                                     std::uint32_t& shieldMask);

private:
    // The address's family is still to be found: not known, not pinned.
    bool FamilyUnsettled(std::uint8_t address) const;
    // Whether an unsettled address may be asked in every family's form now;
    // true notes the attempt.
    bool DetectionDue(std::uint8_t address);
    // Asks the address in every family's form; true when a foreign family
    // was found (ours is confirmed by our own 0x42).
    bool DetectForeignFamily(std::uint8_t address);
    // Index of the table slot holding the pack number, or -1. Lock held.
    template <typename Table>
    static int SlotOf(const Table& table, std::uint8_t packNumber);
    int RowOfPack(std::uint8_t packNumber) const;
    // A status field copied out or in under the store lock.
    template <typename T> T ReadLocked(const T& field) const
    {
        QMutexLocker locker(&m_lock);
        return field;
    }
    template <typename T> void WriteLocked(T& field, const T& value)
    {
        QMutexLocker locker(&m_lock);
        field = value;
    }

    TDevOper m_devOper;
    TParameterInfo m_parameterInfo;
    TTextOper m_textOper;
    TReadingHistory m_readings;
    mutable TBusHold m_busHold;

    mutable QMutex m_lock;  // guards everything below
    std::array<RPackEntry, kMaxPacks> m_packTable{};
    std::array<RAnalogData, kMaxPacks> m_analogData{};
    std::array<RAlarmData, kMaxPacks> m_alarmData{};
    std::array<bool, kMaxPacks> m_alarmFromPack{};   // by slot of m_alarmData
    std::array<RLocationData, kMaxPacks> m_locationData{};
    // About 400 kB: kept on the heap so that the store fits on any stack.
    std::unique_ptr<std::array<RParameter, kMaxPacks>> m_parameterSets;
    std::array<RParameterReadMark, kMaxPacks> m_parameterMarks{};   // by pack number - 1
    std::uint8_t m_currentPackNumber = 0;
    std::uint8_t m_currentAddress = 0;
    QString m_barCode;
    std::uint16_t m_softwareVersion = 0;
    std::uint8_t m_echoedPackNumber = 0;
    std::uint8_t m_lastResult = 0;
    // When each address was last asked in every family's form.
    std::array<std::optional<std::chrono::steady_clock::time_point>, 256> m_detectedAt{};
    SteadyNow m_detectionClock;   // set before use, read without the lock
};
