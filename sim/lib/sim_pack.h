#pragma once

#include "sim_live.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <cstdint>
#include <map>
#include <utility>

// Return codes a simulated pack answers with besides 0.
namespace SimRtn {
inline constexpr std::uint8_t kSuccess = 0x00;
inline constexpr std::uint8_t kUnknownCommand = 0x04;  // CID2 it does not know
inline constexpr std::uint8_t kFormatError = 0x05;     // INFO too short or of the wrong length
inline constexpr std::uint8_t kInvalidData = 0x06;     // a value it cannot take
} // namespace SimRtn

// One simulated battery pack: the state that the pack commands read and
// write, and the answers to them. Not thread-safe; the bus serialises.
class SimPack {
public:
    static constexpr int kParameterBlockBytes = 166;
    static constexpr int kProductTexts = 7;
    static constexpr int kProductTextBytes = 30;
    static constexpr int kBarCodeBytes = 30;

    struct Answer {
        std::uint8_t rtn = SimRtn::kSuccess;
        QByteArray infoText;   // INFO as it travels (hex pairs, plus plain text for the location answer)
    };

    SimPack(std::uint8_t number, int packsOnBus, int recordsPerLog, std::uint32_t seed);

    std::uint8_t number() const { return m_number; }
    std::uint16_t functionSwitches() const { return m_functionSwitches; }
    // The answer to one request with this CID2 and these INFO bytes.
    Answer handle(std::uint8_t cid2, const QByteArray& info);

    // Replaces one of the two record logs (records: INFO from offset 2 on).
    void setLog(bool alarmLog, const QList<QByteArray>& records)
    {
        (alarmLog ? m_alarmRecords : m_workData) = RecordLog{records, -1};
    }

    // The factory parameter block of a pack with this number.
    static QByteArray DefaultParameterBlock(std::uint8_t packNumber);

private:
    using Handler = Answer (SimPack::*)(const QByteArray& info);
    struct HandlerRow {
        std::uint8_t cid2;
        int minimumInfo;       // request INFO bytes the handler reads
        Handler handler;
    };
    static const std::array<HandlerRow, 29> kHandlers;

    // A record log with the read position the pack keeps for it.
    struct RecordLog {
        QList<QByteArray> records;   // INFO from offset 2 on
        qsizetype position = -1;     // index of the record served last
    };

    Answer readAnalogData(const QByteArray& info);
    Answer readAlarmData(const QByteArray& info);
    Answer readParameters(const QByteArray& info);
    Answer writeParameters(const QByteArray& info);
    Answer readWorkDataRecord(const QByteArray& info);
    Answer readAlarmRecord(const QByteArray& info);
    Answer readDateTime(const QByteArray& info);
    Answer writeDateTime(const QByteArray& info);
    Answer readDeviceInfo(const QByteArray& info);
    Answer readPackQuantity(const QByteArray& info);
    Answer writeRecordTime(const QByteArray& info);
    Answer writeFunctionSwitches(const QByteArray& info);
    Answer deleteAlarmRecords(const QByteArray& info);
    Answer deleteWorkData(const QByteArray& info);
    Answer readCapacity(const QByteArray& info);
    Answer writeCapacity(const QByteArray& info);
    Answer writeCycleTime(const QByteArray& info);
    Answer writePackQuantity(const QByteArray& info);
    Answer readBarCode(const QByteArray& info);
    Answer writeBarCode(const QByteArray& info);
    Answer readDischargeAccumulating(const QByteArray& info);
    Answer writeDischargeAccumulating(const QByteArray& info);
    Answer readCalibration(const QByteArray& info);
    Answer writeCalibration(const QByteArray& info);
    Answer enterSleep(const QByteArray& info);
    Answer readProductInfo(const QByteArray& info);
    Answer writeProductInfo(const QByteArray& info);
    Answer readLocationInfo(const QByteArray& info);
    Answer accessBatteryShield(const QByteArray& info);

    Answer serveRecord(RecordLog& log, std::uint8_t subCommand);
    QDateTime clock() const;
    std::pair<std::int32_t, std::int32_t> calibrationDefault(int kind, int item) const;
    void fillLogs(int recordsPerLog);

    std::uint8_t m_number;
    SimRandom m_random;
    SimLiveState m_live;
    qint64 m_clockOffsetSeconds = 0;            // pack clock minus PC clock
    QByteArray m_barCode;
    std::uint8_t m_packQuantity;
    std::uint8_t m_recordStartHour = 0;
    std::uint8_t m_recordStartMinute = 0;
    std::uint8_t m_recordEndHour = 23;
    std::uint8_t m_recordEndMinute = 59;
    std::uint16_t m_recordIntervalSeconds = 600;
    std::uint16_t m_functionSwitches = 0x01F8;  // buzzer, LED, both FETs, current limit, precharge
    std::uint32_t m_shieldMask = 0;
    std::uint32_t m_dischargedDeciAh = 0;       // 0.1 Ah
    std::uint32_t m_dischargedCentiKwh = 0;     // 0.01 kWh
    std::map<std::pair<int, int>, std::pair<std::int32_t, std::int32_t>> m_calibration;
    QByteArray m_productInfo;                   // 7 × 30 characters
    QByteArray m_parameters;                    // 166 bytes
    RecordLog m_workData;
    RecordLog m_alarmRecords;
};
