#include "params/parameter_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

RParameterFileTexts EnglishTexts()
{
    RParameterFileTexts texts;
    texts.header = {QStringLiteral("ID"), QStringLiteral("Value"), QStringLiteral("Unit"),
                    QStringLiteral("Min"), QStringLiteral("Max"), QStringLiteral("Name")};
    texts.language = 1;
    texts.unitText = [](std::uint8_t code) { return code == 2 ? QStringLiteral("mV") : QString(); };
    return texts;
}

RParameterFileTexts ChineseTexts()
{
    RParameterFileTexts texts;
    texts.header = {QString::fromUtf8("编号"), QString::fromUtf8("参数值"), QString::fromUtf8("单位"),
                    QString::fromUtf8("最小值"), QString::fromUtf8("最大值"), QString::fromUtf8("参数名称")};
    texts.language = 0;
    return texts;
}

RParameter SampleSet()
{
    TParameterInfo info;
    RParameter set = info.NewParameterSet(3);
    TParameterInfo::SetParameterInt(1, 3, set);
    TParameterInfo::SetParameterInt(11, 16, set);
    TParameterInfo::SetParameterValue(13, set, *Decimal::parse(u"1.25"));
    TParameterInfo::SetParameterInt(30, 3650, set);
    TParameterInfo::SetParameterInt(40, -20, set);
    TParameterInfo::SetParameterValue(71, set, *Decimal::parse(u"1000.5"));
    TParameterInfo::SetParameterFlag(185, true, set);
    return set;
}

QByteArray WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return text;
}

} // namespace

TEST(ParameterFile, SplitTextKeepsEmptyPieces)
{
    EXPECT_EQ(SplitText(QStringLiteral("a,b,c"), u','), QStringList({"a", "b", "c"}));
    EXPECT_EQ(SplitText(QStringLiteral("a,,b"), u','), QStringList({"a", "", "b"}));
    EXPECT_EQ(SplitText(QStringLiteral("a,"), u','), QStringList({"a", ""}));
    EXPECT_EQ(SplitText(QStringLiteral("abc"), u','), QStringList({"abc"}));
}

TEST(ParameterFile, ExportWritesAHeaderAndOneLinePerCatalogueEntry)
{
    const QByteArray text = FormatParameterFile(SampleSet(), EnglishTexts());
    ASSERT_TRUE(text.endsWith("\r\n"));
    const QList<QByteArray> lines = text.chopped(1).split('\n');
    ASSERT_EQ(lines.size(), 1 + kCatalogueEntries);
    for (const QByteArray& line : lines)
        EXPECT_TRUE(line.endsWith('\r'));
    EXPECT_EQ(lines[0], "ID,Value,Unit,Min,Max,Name\r");
    EXPECT_EQ(lines[1], "000,0.000,,0.000,0.000,\r");
    EXPECT_EQ(lines[2], "001,3.000,,0.000,16.000,RS485 address\r");
    EXPECT_EQ(lines[3], "011,16.000,,1.000,16.000,Battery node number\r");
    EXPECT_EQ(lines[5], "013,1.250,,0.000,0.000,Sampling resistance\r");
    EXPECT_TRUE(lines.contains("030,3650.000,mV,0.000,0.000,Cell high voltage alarm\r"));
    EXPECT_TRUE(lines.contains("032,0.000,mV,0.000,0.000,Cell low voltage alarm \r"));
    EXPECT_TRUE(lines.contains("040,-20.000,,0.000,0.000,Battery high temperature alarm\r"));
    EXPECT_TRUE(lines.contains("071,1000.500,,0.000,0.000,Cell over voltage delay\r"));
    EXPECT_TRUE(lines.contains("185,1.000,,0.000,0.000,Enable DFET\r"));
    EXPECT_EQ(lines.last(), "244,0.000,,0.000,0.000,Enable Dsg-OCP 2\r");
}

TEST(ParameterFile, ExportedFileReadsBackInTheOtherLanguage)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("pack3.prt"));
    const RParameter set = SampleSet();
    const RParameterFileResult exported = ExportParameterFile(path, set, ChineseTexts());
    ASSERT_TRUE(exported.ok) << exported.errorText.toStdString();

    TParameterInfo info;
    RParameter loaded = info.NewParameterSet(3);
    const RParameterFileResult imported = ImportParameterFile(path, loaded);
    ASSERT_TRUE(imported.ok) << imported.errorText.toStdString();
    EXPECT_EQ(imported.applied.size(), std::size_t(kCatalogueEntries));
    EXPECT_EQ(loaded, set);
}

TEST(ParameterFile, ExportStopsAtTheFirstValueOutsideItsRange)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fresh.prt"));
    TParameterInfo info;
    const RParameterFileResult fresh = ExportParameterFile(path, info.NewParameterSet(1), EnglishTexts());
    EXPECT_FALSE(fresh.ok);
    ASSERT_TRUE(fresh.outOfRange.has_value());
    EXPECT_EQ(fresh.outOfRange->Id, 11);
    EXPECT_FALSE(QFile::exists(path));

    RParameter set = SampleSet();
    TParameterInfo::SetParameterInt(1, 17, set);
    EXPECT_EQ(ExportParameterFile(path, set, EnglishTexts()).outOfRange->Id, 1);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(ParameterFile, ExportToAMissingFolderReportsTheError)
{
    QTemporaryDir folder;
    const RParameterFileResult result =
        ExportParameterFile(folder.filePath(QStringLiteral("no/such/folder/x.prt")), SampleSet(), EnglishTexts());
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.errorText.isEmpty());
}

TEST(ParameterFile, ImportSetsTheValuesTheFileNamesAndKeepsTheRest)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("some.prt"));
    // Ids need no leading zeros, lines may end in a bare line feed, extra
    // fields are ignored, and an uncatalogued id sets its position.
    WriteText(path, "whatever the header says\r\n020,2\r\n180,1.000,,0,0,Enable heating\n"
                    "31,3400\r\n040,-20.5\r\n");
    TParameterInfo info;
    RParameter set = info.NewParameterSet(1);
    TParameterInfo::SetParameterInt(30, 3650, set);
    const RParameterFileResult result = ImportParameterFile(path, set);
    ASSERT_TRUE(result.ok) << result.errorText.toStdString();
    EXPECT_EQ(result.applied.size(), 4u);
    EXPECT_EQ(TParameterInfo::GetParameterInt(20, set), 2);
    EXPECT_TRUE(TParameterInfo::GetParameterFlag(180, set));
    EXPECT_EQ(set.Entries[31].Value, Decimal::fromInt(3400));
    EXPECT_EQ(TParameterInfo::GetParameterValue(40, set), *Decimal::parse(u"-20.5"));
    EXPECT_EQ(TParameterInfo::GetParameterInt(30, set), 3650);

    // Without a header the first line is a parameter line like any other;
    // a bare CR ends a line too.
    WriteText(path, "020,1\r021,45\r");
    RParameter headless = info.NewParameterSet(1);
    ASSERT_TRUE(ImportParameterFile(path, headless).ok);
    EXPECT_EQ(TParameterInfo::GetParameterInt(20, headless), 1);
    EXPECT_EQ(TParameterInfo::GetParameterInt(21, headless), 45);

    WriteText(path, "header only\r\n");
    RParameter fresh = info.NewParameterSet(1);
    EXPECT_TRUE(ImportParameterFile(path, fresh).ok);
    EXPECT_EQ(fresh, info.NewParameterSet(1));
}

TEST(ParameterFile, ABadLineStopsTheImportAfterApplyingTheLinesBeforeIt)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bad.prt"));
    TParameterInfo info;
    const QByteArray header = "ID,Value\r\n";
    const QByteArray badLines[] = {
        "\r\n", "030\r\n", "x30,5\r\n", "030,five\r\n", "255,1\r\n", "-1,1\r\n", "300,1\r\n",
        // A decimal comma splits the value, by hand or in an exported line.
        "030,3,601\r\n", "030,3,601,mV,0,000,0,000,Cell high voltage alarm\r\n",
        // Six fields whose minimum and maximum are no numbers have shifted.
        "030,3,601,mV,0,Cell high voltage alarm\r\n",
        // Switches are 0 or 1; values must fit the bytes that carry them.
        "242,5\r\n", "242,-1\r\n", "180,0.5\r\n", "030,65536\r\n", "001,256\r\n", "040,-41\r\n",
        "013,655.36\r\n"};
    for (const QByteArray& bad : badLines) {
        WriteText(path, header + "011,16\r\n" + bad + "020,3\r\n");
        RParameter set = info.NewParameterSet(1);
        const RParameterFileResult result = ImportParameterFile(path, set);
        EXPECT_FALSE(result.ok) << bad.constData();
        EXPECT_EQ(result.errorLine, 3) << bad.constData();
        EXPECT_TRUE(result.errorText.startsWith(QStringLiteral("Line 3: "))) << result.errorText.toStdString();
        EXPECT_EQ(TParameterInfo::GetParameterInt(11, set), 16) << "lines before the bad one stay applied";
        EXPECT_EQ(TParameterInfo::GetParameterInt(20, set), 0) << "lines after it are not read";
    }
    RParameter untouched = info.NewParameterSet(1);
    EXPECT_FALSE(ImportParameterFile(folder.filePath(QStringLiteral("missing.prt")), untouched).ok);
}
