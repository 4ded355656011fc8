#include "sim_store.h"

#include "protocol/result_codes.h"

#include <QDateTime>

#include <gtest/gtest.h>

TEST(StoreFacade, GoodReadsFileThePackRecords)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    TDevInfo& store = *sim.store;

    std::uint8_t echoed = 0;
    ASSERT_EQ(store.ReadAnalogData(2, 2, echoed), ResultCode::kSuccess);
    EXPECT_EQ(echoed, 2);
    const RAnalogData analog = store.GetAnalogData(2);
    EXPECT_EQ(analog.packNumber, 2);
    EXPECT_GT(analog.totalVoltage, Decimal());
    EXPECT_GT(analog.cellVoltages[0], 0);
    // The other packs keep their blanks.
    EXPECT_EQ(store.GetAnalogData(1).totalVoltage, Decimal());

    ASSERT_EQ(store.ReadAlarmData(2, 2), ResultCode::kSuccess);
    EXPECT_EQ(store.GetAlarmData(2).packNumber, 2);

    // Plain commands pass straight through.
    RDeviceTime time;
    EXPECT_EQ(store.ReadDateTime(2, time), ResultCode::kSuccess);
    EXPECT_GE(time.year, 2024);
    QString barCode;
    EXPECT_EQ(store.ReadBarCode(2, 2, barCode), ResultCode::kSuccess);
}

TEST(StoreFacade, FailedReadKeepsAnalogButBlanksAlarmAndLocation)
{
    SimOptions options;
    options.packs = 2;
    SimulatedStore sim(options);
    ASSERT_TRUE(sim.opened);
    TDevInfo& store = *sim.store;

    RAnalogData analog = TDevInfo::InitAnalogData(3);
    analog.totalVoltage = Decimal::fromRaw(531200);
    analog.cellVoltages[4] = 3320;
    store.StoreAnalogData(analog);
    RAlarmData alarm = TDevInfo::InitAlarmData(3);
    alarm.status[1] = 0x01;
    alarm.cellStates[0] = 2;
    store.StoreAlarmData(alarm);
    RLocationData location = TDevInfo::InitLocationData(3);
    location.imei = "861234567890123";
    store.StoreLocationData(location);

    // No pack at address 3 on a two-pack bus.
    const QDateTime before = QDateTime::currentDateTime();
    std::uint8_t echoed = 0;
    EXPECT_EQ(store.ReadAnalogData(3, 3, echoed), ResultCode::kNoAnswer);
    EXPECT_EQ(store.GetAnalogData(3), analog);

    EXPECT_EQ(store.ReadAlarmData(3, 3), ResultCode::kNoAnswer);
    const RAlarmData blank = store.GetAlarmData(3);
    EXPECT_EQ(blank.packNumber, 3);
    EXPECT_EQ(blank.status, (std::array<std::uint8_t, kStatusBytes>{}));
    EXPECT_EQ(blank.cellStates[0], 0);
    const RDeviceTime stamp = blank.time;
    EXPECT_GE(QDateTime(QDate(stamp.year, stamp.month, stamp.day), QTime(stamp.hour, stamp.minute, stamp.second)),
              before.addSecs(-1));

    EXPECT_EQ(store.ReadLocationInfo(3, 3), ResultCode::kNoAnswer);
    EXPECT_EQ(store.GetLocationData(3).imei, "");
    EXPECT_EQ(store.GetLocationData(3).packNumber, 3);
}

TEST(StoreFacade, PackReturnCodeIsPassedOnAndKeepsTheAnalogRecord)
{
    SimulatedStore sim;
    ASSERT_TRUE(sim.opened);
    TDevInfo& store = *sim.store;
    std::uint8_t echoed = 0;
    ASSERT_EQ(store.ReadAnalogData(1, 1, echoed), ResultCode::kSuccess);
    const RAnalogData good = store.GetAnalogData(1);

    SimulatedStore::AddFault(QStringLiteral("rtn:42:06"));
    EXPECT_EQ(store.ReadAnalogData(1, 1, echoed), 0x06);
    EXPECT_EQ(store.GetAnalogData(1), good);
}
