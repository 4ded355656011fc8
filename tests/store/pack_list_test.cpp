// Pack lists as the bus-wide commands take them.
#include "store/pack_list.h"

#include <gtest/gtest.h>

namespace {

using Packs = std::vector<std::uint8_t>;

TEST(PackList, AcceptsRangesListsAndAll)
{
    const struct {
        const char* text;
        int packCount;
        Packs packs;
    } cases[] = {
        {"1-16", 4, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"1,3,5", 4, {1, 3, 5}},
        {" 2 - 4 , 9 ", 4, {2, 3, 4, 9}},
        {"ALL", 3, {1, 2, 3}},
        {"all", 40, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
        {"7", 1, {7}},
    };
    for (const auto& c : cases) {
        QString error;
        const auto packs = ParsePackList(QString::fromUtf8(c.text), c.packCount, &error);
        ASSERT_TRUE(packs.has_value()) << c.text << ": " << error.toStdString();
        EXPECT_EQ(*packs, c.packs) << c.text;
    }
}

TEST(PackList, RefusesDuplicatesOutOfRangeAndJunkNamingThePiece)
{
    const struct {
        const char* text;
        const char* named;
    } cases[] = {
        {"", "no packs"},       {"0", "\"0\""},         {"17", "\"17\""},      {"1,,2", "\"\""},
        {"4-2", "backwards"},   {"1-3,2", "twice"},     {"x", "\"x\""},        {"1-", "\"1-\""},
        {"1.5", "\"1.5\""},     {"1-2-3", "\"1-2-3\""}, {"+3", nullptr},
    };
    for (const auto& c : cases) {
        QString error;
        const auto packs = ParsePackList(QString::fromUtf8(c.text), 16, &error);
        if (!c.named) {   // "+3" reads as 3, as the pack count field takes it
            EXPECT_TRUE(packs.has_value()) << c.text;
            continue;
        }
        EXPECT_FALSE(packs.has_value()) << c.text;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.named))) << c.text << ": " << error.toStdString();
    }
}

TEST(PackList, FormatsRunsShort)
{
    EXPECT_EQ(FormatPackList({1, 2, 3, 4, 7}), QStringLiteral("1-4, 7"));
    EXPECT_EQ(FormatPackList({1, 2, 5, 6, 7, 16}), QStringLiteral("1, 2, 5-7, 16"));
    EXPECT_EQ(FormatPackList({}), QString());
}

} // namespace
