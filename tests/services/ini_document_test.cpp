#include "services/ini_document.h"

#include <gtest/gtest.h>

namespace {

TEST(IniDocument, ValuesAreFoundInTheirOwnSectionOnly)
{
    const IniDocument ini = IniDocument::FromBytes("Loose=1\n[A]\nKey = one \n; Key=comment\n[B]\nKey=two\n");
    EXPECT_EQ(ini.value(QStringLiteral("A"), QStringLiteral("key")), QStringLiteral("one"));
    EXPECT_EQ(ini.value(QStringLiteral("b"), QStringLiteral("KEY")), QStringLiteral("two"));
    EXPECT_FALSE(ini.value(QStringLiteral("C"), QStringLiteral("Key")).has_value());
    EXPECT_FALSE(ini.value(QStringLiteral("A"), QStringLiteral("Loose")).has_value());
}

TEST(IniDocument, ReplacingAValueTouchesOnlyItsLine)
{
    IniDocument ini = IniDocument::FromBytes("[A]\nx=1\ny=2\n# note\n[B]\nx=3\n");
    ini.setValue(QStringLiteral("a"), QStringLiteral("X"), QStringLiteral("10"));
    EXPECT_EQ(ini.toBytes(), QByteArray("[A]\nX=10\ny=2\n# note\n[B]\nx=3\n"));
}

TEST(IniDocument, NewKeysGoToTheEndOfTheirSection)
{
    IniDocument ini = IniDocument::FromBytes("[A]\nx=1\n\n[B]\ny=2");
    ini.setValue(QStringLiteral("A"), QStringLiteral("z"), QStringLiteral("3"));
    ini.setValue(QStringLiteral("B"), QStringLiteral("w"), QStringLiteral("4"));
    ini.setValue(QStringLiteral("C"), QStringLiteral("v"), QStringLiteral("5"));
    EXPECT_EQ(ini.toBytes(), QByteArray("[A]\nx=1\nz=3\n\n[B]\ny=2\nw=4\n[C]\nv=5\n"));
}

TEST(IniDocument, EmptySectionReceivesItsFirstKey)
{
    IniDocument ini = IniDocument::FromBytes("[A]\r\n[B]\r\nk=1\r\n");
    ini.setValue(QStringLiteral("A"), QStringLiteral("n"), QStringLiteral("0"));
    EXPECT_EQ(ini.toBytes(), QByteArray("[A]\r\nn=0\r\n[B]\r\nk=1\r\n"));
}

} // namespace
