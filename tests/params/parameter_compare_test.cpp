// Comparing and copying sets between packs: the address and node number
// stay each pack's own.
#include "params/parameter_compare.h"
#include "params/reference_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

RParameter SetFor(std::uint8_t pack)
{
    TParameterInfo info;
    RParameter set = info.NewParameterSet(pack);
    TParameterInfo::SetParameterInt(1, pack, set);        // RS485 address
    TParameterInfo::SetParameterInt(11, 16, set);         // node number
    TParameterInfo::SetParameterInt(31, 7 * pack, set);   // a field without a catalogue entry
    return set;
}

TEST(ParameterCompare, CountsOnlySharedCatalogueValues)
{
    const RParameter reference = SetFor(1);
    RParameter other = SetFor(2);
    TParameterInfo::SetParameterInt(11, 15, other);
    EXPECT_TRUE(DifferingParameters(reference, other).empty());

    TParameterInfo::SetParameterValue(30, other, Decimal::fromRaw(36010));
    TParameterInfo::SetParameterFlag(180, !TParameterInfo::GetParameterFlag(180, reference), other);
    EXPECT_EQ(DifferingParameters(reference, other), (std::vector<std::uint8_t>{30, 180}));
}

TEST(ParameterCompare, TakingSharedValuesKeepsThePacksOwn)
{
    RParameter wanted = SetFor(1);
    TParameterInfo::SetParameterValue(30, wanted, Decimal::fromRaw(36010));
    TParameterInfo::SetParameterInt(11, 8, wanted);
    const RParameter pack3 = SetFor(3);

    const RParameter merged = TakeSharedParameters(pack3, wanted);
    EXPECT_TRUE(DifferingParameters(wanted, merged).empty());
    EXPECT_EQ(TParameterInfo::GetParameterInt(1, merged), 3);
    EXPECT_EQ(TParameterInfo::GetParameterInt(11, merged), 16);
    EXPECT_EQ(merged.Entries[31].Value, Decimal::fromInt(21));
    EXPECT_EQ(merged.PackNumber, 3);
}

TEST(ParameterCompare, AReferenceFileGivesEachIdOnceWithNoMoreDecimalsThanItsParameter)
{
    TParameterInfo info;
    const RParameter catalogue = info.NewParameterSet(0);
    struct Case {
        std::vector<RParameterFileLine> lines;
        QString refused;
    };
    // Id 13 shows two decimals, id 23 none.
    const Case cases[] = {
        {{{2, 13, Decimal::fromRaw(12500)}, {3, 23, Decimal::fromInt(3450)}}, {}},
        {{{2, 23, Decimal::fromInt(3450)}, {5, 23, Decimal::fromInt(3400)}},
         QStringLiteral("Line 5: id 23 is given again (first on line 2)")},
        {{{4, 13, Decimal::fromRaw(12550)}}, QStringLiteral("Line 4: 1.255 has more than the 2 decimal(s) of id 13")},
        {{{7, 23, Decimal::fromRaw(34505000)}}, QStringLiteral("Line 7: 3450.5 has more than the 0 decimal(s) of id 23")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RefusedReferenceLines(c.lines, catalogue), c.refused);
}

// Every front end loads a reference file through one function: the same
// file is taken, or refused for the same fault, everywhere.
TEST(ParameterCompare, AReferenceFileIsTakenOrRefusedForOneFault)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const struct {
        const char* name;
        const char* text;   // nullptr: no such file
        ReferenceFileFault fault;
        std::vector<std::uint8_t> ids;
    } cases[] = {
        {"site.prt", "Id,Value\r\n030,3610\r\n023,3450\r\n", ReferenceFileFault::None, {30, 23}},
        {"missing.prt", nullptr, ReferenceFileFault::Unreadable, {}},
        {"comma.prt", "Id,Value\r\n030,3,610\r\n", ReferenceFileFault::Unreadable, {}},
        // A blank set would make every parameter differ.
        {"header.prt", "Id,Value\r\n", ReferenceFileFault::NoParameters, {}},
        {"twice.prt", "Id,Value\r\n023,3450\r\n023,3460\r\n", ReferenceFileFault::Refused, {}},
    };
    for (const auto& c : cases) {
        const QString path = folder.filePath(QLatin1String(c.name));
        if (c.text) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.text);
        }
        const RReferenceFile loaded = LoadReferenceFile(path);
        EXPECT_EQ(loaded.fault, c.fault) << c.name;
        EXPECT_EQ(loaded.reference.ids, c.ids) << c.name;
        EXPECT_EQ(loaded.detail.isEmpty(),
                  c.fault == ReferenceFileFault::None || c.fault == ReferenceFileFault::NoParameters)
            << c.name;
        if (c.fault == ReferenceFileFault::None) {
            EXPECT_EQ(loaded.reference.name, QLatin1String(c.name));
            EXPECT_EQ(TParameterInfo::GetParameterValue(23, loaded.reference.set), Decimal::fromInt(3450));
            EXPECT_EQ(loaded.reference.lines.size(), 2u);
        }
    }
}

} // namespace
