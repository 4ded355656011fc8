#include "services/ini_document.h"
#include "protocol/wire_text.h"
#include "services/settings.h"
#include "services/text_ids.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Each test gets a fresh program folder; the globals are loaded from it.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_folder.isValid()); }
    void TearDown() override { FreeGlobals(); }

    QString programFolder() const { return m_folder.path(); }
    void writeIni(const QByteArray& bms) { WriteAll(m_folder.filePath(QStringLiteral("BMS.ini")), bms); }
    void load() { LoadSettings(programFolder()); }

    QTemporaryDir m_folder;
};

TEST_F(SettingsTest, MissingFileGivesTheDefaultsAndCreatesTheFolders)
{
    load();
    const AppGlobals& g = Globals();
    EXPECT_EQ(g.AppPath, QDir(programFolder()).absolutePath() + QLatin1Char('/'));
    EXPECT_EQ(g.DataPath, g.AppPath + QStringLiteral("Data"));
    EXPECT_EQ(g.ParameterPath, g.AppPath + QStringLiteral("Parameter"));
    EXPECT_TRUE(QDir(g.DataPath).exists());
    EXPECT_TRUE(QDir(g.ParameterPath).exists());

    EXPECT_EQ(g.Language, 1); // TextKind defaults to "1"
    EXPECT_EQ(g.PackCount, 1);
    EXPECT_EQ(g.PackRead, 1);
    EXPECT_EQ(g.PortNumber, 1);
    EXPECT_EQ(g.BaudRate, 9600);
    EXPECT_FALSE(g.DisplayRecord);
    EXPECT_FALSE(g.AutoSave);
    EXPECT_EQ(g.SelectedPack, 0);
    EXPECT_FALSE(g.PasswordOk);
    EXPECT_FALSE(g.ParametersRead);
    EXPECT_EQ(g.StoredPassword, QStringLiteral("QN739204"));
    ASSERT_NE(g.TextOper, nullptr);
    EXPECT_EQ(TTextOper::CurrentLanguage(), 1);
    // Reading alone writes nothing.
    EXPECT_FALSE(QFile::exists(SettingsFilePath()));
}

TEST_F(SettingsTest, StoredValuesAreReadWithinTheirLimits)
{
    writeIni("[BMS]\r\nTextKind=0\r\nPackCount=4\r\nPackRead=3\r\nPort=7\r\nBaudRate=19200\r\n"
             "DisplayRecord=1\r\nAutoSave=1\r\n");
    load();
    const AppGlobals& g = Globals();
    EXPECT_EQ(g.Language, 0);
    EXPECT_EQ(g.PackCount, 4);
    EXPECT_EQ(g.PackRead, 3);
    EXPECT_EQ(g.PortNumber, 7);
    EXPECT_EQ(g.BaudRate, 19200);
    EXPECT_TRUE(g.DisplayRecord);
    EXPECT_TRUE(g.AutoSave);
}

struct LimitCase {
    const char* ini;
    std::uint8_t language, packCount, packRead, port;
    bool displayRecord;
};

TEST_F(SettingsTest, OutOfRangeValuesAreBroughtIntoRange)
{
    const std::vector<LimitCase> cases = {
        {"TextKind=2\nPackCount=0\nPort=0\nDisplayRecord=5\n", 0, 1, 1, 1, true},
        {"PackCount=40\nPort=20\nDisplayRecord=-3\n", 1, 16, 1, 16, false},
        {"PackCount=4\nPackRead=255\n", 1, 4, 255, 1, false},
        {"PackCount=4\nPackRead=9\n", 1, 4, 1, 1, false},
        {"PackCount=4\nPackRead=0\n", 1, 4, 1, 1, false},
        // Limits apply to the number read, not to its low byte.
        {"PackCount=256\nPort=273\nPackRead=-1\n", 1, 16, 1, 16, false},
        {"TextKind=-1\nPort=-5\n", 0, 1, 1, 1, false},
    };
    for (const LimitCase& c : cases) {
        writeIni(QByteArray("[BMS]\n") + c.ini);
        load();
        SCOPED_TRACE(c.ini);
        EXPECT_EQ(Globals().Language, c.language);
        EXPECT_EQ(Globals().PackCount, c.packCount);
        EXPECT_EQ(Globals().PackRead, c.packRead);
        EXPECT_EQ(Globals().PortNumber, c.port);
        EXPECT_EQ(Globals().DisplayRecord, c.displayRecord);
    }
}

TEST_F(SettingsTest, ValuesThatAreNoDecimalIntegerTakeTheirDefaults)
{
    writeIni("[BMS]\nTextKind=zero\nPackCount=4x\nPackRead=\nPort=0x10\nBaudRate=9600.5\n"
             "DisplayRecord=yes\nAutoSave= 1 \n[Other]\nPackCount=9\n");
    load();
    const AppGlobals& g = Globals();
    EXPECT_EQ(g.Language, 1);
    EXPECT_EQ(g.PackCount, 1);
    EXPECT_EQ(g.PackRead, 1);
    EXPECT_EQ(g.PortNumber, 1);
    EXPECT_EQ(g.BaudRate, 9600);
    EXPECT_FALSE(g.DisplayRecord);
    EXPECT_TRUE(g.AutoSave); // surrounding spaces are no fault
}

TEST_F(SettingsTest, WireEncodingNamesTheCodePageOfPackTexts)
{
    writeIni("[BMS]\r\nWireEncoding=windows-1252\r\n");
    load();
    EXPECT_EQ(WireEncoding(), QStringLiteral("windows-1252"));
    // An unknown code page, or none, leaves the default in force.
    for (const QByteArray& ini : {QByteArray("[BMS]\r\nWireEncoding=klingon\r\n"), QByteArray("[BMS]\r\n")}) {
        writeIni(ini);
        load();
        EXPECT_EQ(WireEncoding(), DefaultWireEncoding()) << ini.constData();
    }
#ifndef Q_OS_WIN
    EXPECT_EQ(DefaultWireEncoding(), QStringLiteral("GB18030"));
#endif
}

TEST_F(SettingsTest, KeysAndSectionMatchWithoutRegardToCaseAndTheFirstOfTwoCounts)
{
    writeIni("[bms]\npackcount=5\nPORT=3\nport=9\n");
    load();
    EXPECT_EQ(Globals().PackCount, 5);
    EXPECT_EQ(Globals().PortNumber, 3);
    // The writer rewrites the line the reader reads.
    ASSERT_TRUE(WriteSetting(QStringLiteral("Port"), 7));
    EXPECT_EQ(ReadAll(SettingsFilePath()), QByteArray("[bms]\npackcount=5\nPort=7\nport=9\n"));
    load();
    EXPECT_EQ(Globals().PortNumber, 7);
}

TEST_F(SettingsTest, WritingAKeyKeepsThePortMapAndEverythingElse)
{
    const QByteArray before = "; settings\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=/dev/pts/7\r\n\r\n"
                              "[BMS]\r\nTextKind=1\r\nPackCount=2\r\n\r\n[Extra]\r\nName=a,b;c\r\n";
    writeIni(before);
    load();
    ASSERT_TRUE(WriteSetting(QStringLiteral("PackCount"), 9));
    ASSERT_TRUE(WriteSetting(QStringLiteral("AutoSave"), QStringLiteral("1")));
    const QByteArray after = ReadAll(SettingsFilePath());
    EXPECT_EQ(after,
        QByteArray("; settings\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\nCOM2=/dev/pts/7\r\n\r\n"
                   "[BMS]\r\nTextKind=1\r\nPackCount=9\r\nAutoSave=1\r\n\r\n[Extra]\r\nName=a,b;c\r\n"));
    EXPECT_EQ(ReadIniValue(SettingsFilePath(), QStringLiteral("Ports"), QStringLiteral("COM2")),
        QStringLiteral("/dev/pts/7"));

    load();
    EXPECT_EQ(Globals().PackCount, 9);
    EXPECT_TRUE(Globals().AutoSave);
}

TEST_F(SettingsTest, FirstWriteCreatesTheFileWithItsSection)
{
    load();
    ASSERT_TRUE(WriteSetting(QStringLiteral("Port"), 5));
    EXPECT_EQ(ReadAll(SettingsFilePath()), QByteArray("[BMS]\r\nPort=5\r\n"));
}

TEST_F(SettingsTest, UnwritableProgramFolderMovesTheFilesToTheUserDataFolder)
{
    QStandardPaths::setTestModeEnabled(true);
    // A folder below a plain file can be neither created nor written, also
    // for the administrator.
    WriteAll(m_folder.filePath(QStringLiteral("program")), "not a folder");
    const QString program = m_folder.filePath(QStringLiteral("program/bin"));
    LoadSettings(program);
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    EXPECT_EQ(Globals().ProgramPath, program + QLatin1Char('/'));
    EXPECT_EQ(Globals().AppPath, QDir::cleanPath(userFolder) + QLatin1Char('/'));
    EXPECT_TRUE(QDir(Globals().DataPath).exists());
    EXPECT_TRUE(WriteSetting(QStringLiteral("Port"), 2));
    EXPECT_TRUE(SettingsFilePath().startsWith(Globals().AppPath));
    QDir(userFolder).removeRecursively();
    QStandardPaths::setTestModeEnabled(false);
}

TEST_F(SettingsTest, FreeGlobalsReleasesStoreThenCatalogueThenTextService)
{
    load();
    std::vector<std::string> order;
    SetGlobalRelease(GlobalObject::Catalogue, [&] {
        order.push_back("catalogue");
        EXPECT_NE(Globals().TextOper, nullptr);
    });
    SetGlobalRelease(GlobalObject::Store, [&] { order.push_back("store"); });
    FreeGlobals();
    EXPECT_EQ(order, (std::vector<std::string>{"store", "catalogue"}));
    EXPECT_EQ(Globals().TextOper, nullptr);
    FreeGlobals(); // a second call finds nothing to free
    EXPECT_EQ(order.size(), 2u);
}

TEST_F(SettingsTest, TitleTextsFollowTheLanguage)
{
    load();
    Globals().TextOper->SetLanguage(0);
    InitTitleTexts();
    EXPECT_EQ(Globals().Title, QStringLiteral("BMS上位机"));
    EXPECT_EQ(Globals().Version, QStringLiteral("V6.3"));
    Globals().TextOper->SetLanguage(1);
    InitTitleTexts();
    EXPECT_EQ(Globals().Title, QStringLiteral("BMS Host"));
    EXPECT_FALSE(Globals().TitleText3.isEmpty());
    EXPECT_FALSE(Globals().TitleText5.isEmpty());
}

TEST(DeviceTime, FormatsWithFixedDigits)
{
    EXPECT_EQ(FormatDeviceTime({2024, 3, 7, 9, 5, 0}), QStringLiteral("2024-03-07 09:05:00"));
    EXPECT_EQ(FormatDeviceTime({999, 12, 31, 23, 59, 59}), QStringLiteral("0999-12-31 23:59:59"));
    EXPECT_EQ(FormatDeviceTime({65535, 255, 0, 0, 0, 0}), QStringLiteral("65535-255-00 00:00:00"));
}

} // namespace
