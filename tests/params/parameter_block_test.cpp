#include "params/parameter_block.h"
#include "params/parameter_commands.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

RParameter FreshSet()
{
    TParameterInfo info;
    return info.NewParameterSet(1);
}

RParameter Decoded(const QByteArray& block)
{
    RParameter set = FreshSet();
    DecodeParameterBlock(block, set);
    return set;
}

QByteArray BlockWith(std::initializer_list<std::pair<int, std::uint8_t>> bytes)
{
    QByteArray block(kParameterBlockBytes, '\0');
    for (const auto& [offset, value] : bytes)
        block[offset] = static_cast<char>(value);
    return block;
}

// A block as a pack could send it: any byte anywhere, except the bits of the
// switch bytes that carry no switch (they never survive a read).
QByteArray RandomBlock(unsigned seed)
{
    std::mt19937 random(seed);
    QByteArray block(kParameterBlockBytes, '\0');
    for (char& byte : block)
        byte = static_cast<char>(random() & 0xFF);
    for (const RBlockSwitchByte& switchByte : ParameterBlockSwitches()) {
        std::uint8_t mask = 0;
        for (int bit = 0; bit < 8; ++bit)
            mask |= switchByte.ids[bit] != 0 ? std::uint8_t(1u << bit) : 0;
        block[switchByte.offset] = static_cast<char>(block[switchByte.offset] & mask);
    }
    return block;
}

std::uint8_t ByteAt(const QByteArray& bytes, int offset)
{
    return static_cast<std::uint8_t>(bytes[offset]);
}

QByteArray EncodedWith(std::uint8_t id, Decimal value)
{
    RParameter set = FreshSet();
    TParameterInfo::SetParameterValue(id, set, value);
    return EncodeParameterBlock(set, false);
}

Decimal Dec(const char16_t* text)
{
    return *Decimal::parse(text);
}

} // namespace

TEST(ParameterBlock, FieldsCoverEveryIdOnce)
{
    std::set<int> ids;
    for (const RBlockField& field : ParameterBlockFields())
        EXPECT_TRUE(ids.insert(field.id).second) << int(field.id);
    for (const RBlockSwitchByte& switchByte : ParameterBlockSwitches())
        for (std::uint8_t id : switchByte.ids)
            if (id != 0) {
                EXPECT_TRUE(ids.insert(id).second) << int(id);
            }
    // Every catalogue entry but entry 0 travels in the block, plus the
    // eleven uncatalogued fields.
    EXPECT_EQ(ids.size(), std::size_t(kCatalogueEntries - 1 + 11));
    TParameterInfo info;
    for (std::uint8_t id : kUncataloguedBlockIds) {
        EXPECT_TRUE(ids.count(id)) << int(id);
        EXPECT_EQ(info.CatalogueEntry(id).Used, 0) << int(id);
    }
}

TEST(ParameterBlock, DecodesTheWorkedExamples)
{
    const RParameter set = Decoded(BlockWith({{17, 0x01}, {18, 0x10}, {25, 0x61}, {26, 0xA8}, {2, 0x00}, {3, 25},
                                              {4, 0x01}, {5, 0x2D}, {63, 0x00}, {64, 100}, {47, 0x00}, {48, 12},
                                              {89, 65}, {0, 3}, {8, 2}}));
    EXPECT_EQ(set.Entries[30].Value, Decimal::fromInt(272));
    EXPECT_EQ(set.Entries[35].Value, Decimal::fromInt(50000));
    EXPECT_EQ(set.Entries[15].Value, Dec(u"2.5"));
    EXPECT_EQ(set.Entries[13].Value, Dec(u"3.01"));
    EXPECT_EQ(set.Entries[71].Value, Decimal::fromInt(1000));
    EXPECT_EQ(set.Entries[55].Value, Decimal::fromInt(120));
    EXPECT_EQ(set.Entries[91].Value, Decimal::fromInt(25));
    EXPECT_EQ(set.Entries[40].Value, Decimal::fromInt(-40));  // temperature byte 0
    EXPECT_EQ(set.Entries[1].Value, Decimal::fromInt(3));
    EXPECT_EQ(set.Entries[20].Value, Decimal::fromInt(2));
}

TEST(ParameterBlock, SwitchBitsSetTheirParametersAndIgnoredBitsAreDropped)
{
    RParameter set = Decoded(BlockWith({{160, 0x21}, {161, 0xFF}}));
    for (int id = 180; id <= 187; ++id)
        EXPECT_EQ(TParameterInfo::GetParameterFlag(std::uint8_t(id), set), id == 180 || id == 185) << id;
    for (int id : {188, 189, 197, 198, 199})
        EXPECT_TRUE(TParameterInfo::GetParameterFlag(std::uint8_t(id), set)) << id;

    // Every switch on: byte 161 carries bits 1, 5 and 7 as 0, bytes 162 and
    // 164 their unused top bits as 0.
    for (const RBlockSwitchByte& switchByte : ParameterBlockSwitches())
        for (std::uint8_t id : switchByte.ids)
            TParameterInfo::SetParameterFlag(id, true, set);
    const QByteArray bytes = EncodeParameterBlock(set, false);
    EXPECT_EQ(ByteAt(bytes, 160), 0xFF);
    EXPECT_EQ(ByteAt(bytes, 161), 0x5D);
    EXPECT_EQ(ByteAt(bytes, 162), 0x3F);
    EXPECT_EQ(ByteAt(bytes, 163), 0xFF);
    EXPECT_EQ(ByteAt(bytes, 164), 0x7F);
    EXPECT_EQ(ByteAt(bytes, 165), 0xFF);
}

TEST(ParameterBlock, EncodesTheWorkedExamples)
{
    const QByteArray temperature = EncodedWith(91, Decimal::fromInt(25));
    EXPECT_EQ(ByteAt(temperature, 89), 0x41);
    const QByteArray delay = EncodedWith(71, Decimal::fromInt(1000));
    EXPECT_EQ(ByteAt(delay, 63), 0x00);
    EXPECT_EQ(ByteAt(delay, 64), 0x64);
    const QByteArray tenths = EncodedWith(15, Dec(u"2.5"));
    EXPECT_EQ(ByteAt(tenths, 2), 0);
    EXPECT_EQ(ByteAt(tenths, 3), 25);
    const QByteArray hundredths = EncodedWith(13, Dec(u"3.01"));
    EXPECT_EQ(ByteAt(hundredths, 4), 0x01);
    EXPECT_EQ(ByteAt(hundredths, 5), 0x2D);
    const QByteArray packVoltage = EncodedWith(35, Decimal::fromInt(50000));
    EXPECT_EQ(ByteAt(packVoltage, 25), 0x61);
    EXPECT_EQ(ByteAt(packVoltage, 26), 0xA8);
}

TEST(ParameterBlock, RestoreByteFollowsTheBlock)
{
    RParameter set = FreshSet();
    TParameterInfo::SetParameterInt(30, 3650, set);
    const QByteArray plain = EncodeParameterBlock(set, false);
    const QByteArray restore = EncodeParameterBlock(set, true);
    ASSERT_EQ(plain.size(), kParameterWriteBytes);
    ASSERT_EQ(restore.size(), kParameterWriteBytes);
    EXPECT_EQ(ByteAt(plain, 166), 0);
    EXPECT_EQ(ByteAt(restore, 166), 1);
    EXPECT_EQ(plain.left(kParameterBlockBytes), restore.left(kParameterBlockBytes));
}

TEST(ParameterBlock, HalvesRoundToTheEvenNeighbour)
{
    auto word = [](const QByteArray& bytes, int offset) { return ByteAt(bytes, offset) * 256 + ByteAt(bytes, offset + 1); };
    // Pack voltage ÷ 2 from the exact value.
    EXPECT_EQ(word(EncodedWith(35, Decimal::fromInt(5)), 25), 2);
    EXPECT_EQ(word(EncodedWith(35, Decimal::fromInt(7)), 25), 4);
    EXPECT_EQ(word(EncodedWith(35, Dec(u"5.2")), 25), 3);
    // Current ÷ 10 from the exact value.
    EXPECT_EQ(word(EncodedWith(55, Decimal::fromInt(125)), 47), 12);
    EXPECT_EQ(word(EncodedWith(55, Decimal::fromInt(135)), 47), 14);
    EXPECT_EQ(word(EncodedWith(55, Dec(u"125.1")), 47), 13);
    // × 10 and × 100 from the exact value.
    EXPECT_EQ(word(EncodedWith(15, Dec(u"0.25")), 2), 2);
    EXPECT_EQ(word(EncodedWith(15, Dec(u"0.35")), 2), 4);
    EXPECT_EQ(word(EncodedWith(13, Dec(u"0.125")), 4), 12);
    // Delays: the whole number first (half away from zero), then ÷ 10 to even.
    EXPECT_EQ(word(EncodedWith(71, Decimal::fromInt(1005)), 63), 100);
    EXPECT_EQ(word(EncodedWith(71, Decimal::fromInt(1015)), 63), 102);
    EXPECT_EQ(word(EncodedWith(71, Dec(u"1004.5")), 63), 100);
    EXPECT_EQ(word(EncodedWith(71, Dec(u"1004.4")), 63), 100);
    // Plain integers and temperatures use the whole number.
    EXPECT_EQ(word(EncodedWith(30, Dec(u"2.5")), 17), 3);
    EXPECT_EQ(ByteAt(EncodedWith(91, Dec(u"24.5")), 89), 65);
}

TEST(ParameterBlock, ABlockReadAndWrittenBackIsByteIdentical)
{
    for (unsigned seed : {1u, 2u, 3u, 1234u, 99999u}) {
        const QByteArray block = RandomBlock(seed);
        const RParameter set = Decoded(block);
        EXPECT_FALSE(FindUnfitParameter(set).has_value()) << seed;
        const QByteArray written = EncodeParameterBlock(set, false);
        EXPECT_EQ(written.left(kParameterBlockBytes).toHex(), block.toHex()) << "seed " << seed;
    }
}

TEST(ParameterBlock, AShortBlockDecodesFromZeroBytes)
{
    const RParameter set = Decoded(QByteArray(10, '\x05'));
    EXPECT_EQ(set.Entries[1].Value, Decimal::fromInt(5));
    EXPECT_EQ(set.Entries[30].Value, Decimal());
    EXPECT_EQ(set.Entries[40].Value, Decimal::fromInt(-40));
    EXPECT_FALSE(TParameterInfo::GetParameterFlag(180, set));
}

TEST(ParameterBlock, ValuesThatDoNotFitTheirFieldAreFound)
{
    struct Case {
        std::uint8_t id;
        const char16_t* value;
        bool fits;
    };
    const Case cases[] = {
        {30, u"65535", true},   {30, u"65536", false},  {30, u"-1", false},    {30, u"-0.4", true},
        {20, u"255", true},     {20, u"256", false},    {40, u"215", true},    {40, u"216", false},
        {40, u"-40", true},     {40, u"-41", false},    {71, u"655354", true}, {71, u"655355", false},
        {35, u"131070", true},  {35, u"131071", false}, {13, u"655.35", true}, {13, u"655.355", false},
        {55, u"655354.9", true}, {55, u"655355", false}, {1, u"9999999999999", false},
        {1, u"-9999999999999", false},
    };
    for (const Case& c : cases) {
        RParameter set = FreshSet();
        TParameterInfo::SetParameterValue(c.id, set, Dec(c.value));
        const auto unfit = FindUnfitParameter(set);
        EXPECT_EQ(!unfit.has_value(), c.fits) << int(c.id) << " = " << QString::fromUtf16(c.value).toStdString();
        if (unfit) {
            EXPECT_EQ(*unfit, c.id);
        }
    }
}

TEST(ParameterBlock, MergeBringsBackTheUncataloguedFieldsOfTheLastRead)
{
    const QByteArray block = RandomBlock(77);
    const RParameter lastRead = Decoded(block);

    // A set made from a file: a fresh set with every catalogue value over it.
    RParameter imported = FreshSet();
    for (int position = 0; position < kParameterPositions; ++position)
        if (imported.Entries[position].Used == 1)
            imported.Entries[position].Value = lastRead.Entries[position].Value;
    EXPECT_NE(EncodeParameterBlock(imported, false).left(kParameterBlockBytes), block);

    const RParameter merged = MergeForWrite(lastRead, imported);
    EXPECT_EQ(EncodeParameterBlock(merged, false).left(kParameterBlockBytes).toHex(), block.toHex());

    // Catalogue values come from the edited set.
    TParameterInfo::SetParameterInt(30, 3650, imported);
    EXPECT_EQ(MergeForWrite(lastRead, imported).Entries[30].Value, Decimal::fromInt(3650));
}
