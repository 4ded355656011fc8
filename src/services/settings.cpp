#include "services/settings.h"

#include "services/ini_document.h"
#include "protocol/link.h"
#include "protocol/records.h"
#include "protocol/tcp_link.h"
#include "protocol/wire_text.h"
#include "services/password_store.h"
#include "services/text_ids.h"
#include "services/text_table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <utility>

namespace {

std::function<void()> g_releaseStore;
std::function<void()> g_releaseCatalogue;

QString WithSeparator(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}


// An installed program cannot write beside itself: its files then live in
// the user's data folder. A BMS.ini shipped beside the program becomes the
// user's starting settings.
QString ChooseFileFolder(const QString& programPath)
{
    if (CanWriteIn(programPath))
        return programPath;
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (userFolder.isEmpty() || !QDir().mkpath(userFolder))
        return programPath;
    const QString userPath = WithSeparator(QDir::cleanPath(userFolder));
    const QString shipped = programPath + QLatin1String(kSettingsFileName);
    const QString own = userPath + QLatin1String(kSettingsFileName);
    if (QFile::exists(shipped) && !QFile::exists(own))
        QFile::copy(shipped, own);
    return userPath;
}

// A setting as a decimal integer: optional sign and digits, nothing else.
// Anything else (or a missing key) gives none and the caller's default.
std::optional<qint64> ParseDecimal(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    const QString value = text->trimmed();
    qsizetype digitsFrom = (value.startsWith(QLatin1Char('-')) || value.startsWith(QLatin1Char('+'))) ? 1 : 0;
    if (value.size() == digitsFrom || value.size() - digitsFrom > 18)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < value.size(); ++i) {
        if (value.at(i) < QLatin1Char('0') || value.at(i) > QLatin1Char('9'))
            return std::nullopt;
    }
    return value.toLongLong();
}

// The limits are applied to the number as read, before it is kept as a
// byte, so that 256 packs become 16 rather than 0 and then 1.
std::uint8_t ClampToPacks(qint64 value)
{
    if (value < 1)
        return 1;
    return std::uint8_t(std::min<qint64>(value, kMaxPacks));
}

void ReadSettingsFile(AppGlobals& globals)
{
    const QString path = SettingsFilePath();
    QByteArray text;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            text = file.readAll();
    }
    const IniDocument ini = IniDocument::FromBytes(text);
    const auto read = [&ini](const char* key, qint64 fallback) {
        const std::optional<qint64> value
            = ParseDecimal(ini.value(QLatin1String(kSettingsSection), QLatin1String(key)));
        return value.value_or(fallback);
    };

    globals.Language = read("TextKind", 1) == 1 ? 1 : 0;
    globals.PackCount = ClampToPacks(read("PackCount", 1));
    const qint64 packRead = read("PackRead", 1);
    globals.PackRead = packRead == 255 ? 255 : (packRead < 1 || packRead > globals.PackCount ? 1 : std::uint8_t(packRead));
    globals.PortNumber = LimitPortNumber(read("Port", 1));
    // A speed must be positive and fit 32 bits; anything else is no speed.
    const qint64 baudRate = read("BaudRate", 9600);
    globals.BaudRate = baudRate > 0 && baudRate <= std::numeric_limits<std::int32_t>::max() ? std::int32_t(baudRate) : 9600;
    globals.DisplayRecord = read("DisplayRecord", 0) > 0;
    // Added to every reply window on a tcp:// port, for the network to the gateway.
    SetNetworkAllowance(std::chrono::milliseconds(read(kNetworkAllowanceKey, kDefaultNetworkAllowance.count())));
    globals.AutoSave = read("AutoSave", 0) > 0;

    // The code page of the texts the packs keep (bar codes, product texts).
    // A name this system cannot convert leaves the default in force.
    const QString wireEncoding
        = ini.value(QLatin1String(kSettingsSection), QLatin1String(kWireEncodingKey)).value_or(QString());
    if (!SetWireEncoding(wireEncoding))
        qWarning("%s: %s \"%s\" is no code page the pack texts can travel in here; using %s", kSettingsFileName,
                 kWireEncodingKey, qPrintable(wireEncoding.left(60)), qPrintable(WireEncoding()));
}

} // namespace

// Trying is the only check that holds on every system (permission bits do
// not tell the whole story on Windows).
bool CanWriteIn(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    QTemporaryFile probe(WithSeparator(folder) + QStringLiteral("write-test-XXXXXX"));
    return probe.open();
}

AppGlobals& Globals()
{
    static AppGlobals globals;
    return globals;
}

QString SettingsFilePath()
{
    return Globals().AppPath + QLatin1String(kSettingsFileName);
}

void NameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("BMS Host"));
    QCoreApplication::setApplicationName(QStringLiteral("bmshost"));
}

void LoadSettings()
{
    LoadSettings(QCoreApplication::applicationDirPath());
}

void LoadSettings(const QString& programFolder)
{
    AppGlobals& globals = Globals();
    globals.ProgramPath = WithSeparator(QDir::cleanPath(QDir(programFolder).absolutePath()));
    globals.AppPath = ChooseFileFolder(globals.ProgramPath);
    globals.DataPath = globals.AppPath + QStringLiteral("Data");
    globals.ParameterPath = globals.AppPath + QStringLiteral("Parameter");
    QDir().mkpath(globals.DataPath);
    QDir().mkpath(globals.ParameterPath);

    globals.Language = 0;
    globals.SelectedPack = 0;
    globals.SelectedAddress = 0;
    globals.AutoPolling = false;
    globals.ClockSync = false;
    globals.PortNumber = 1;
    globals.BaudRate = 9600;
    globals.DisplayRecord = false;
    globals.AutoSave = false;
    globals.AutoScroll = false;
    ReadSettingsFile(globals);

    globals.StoredPassword = TrimText(ReadPassword());
    globals.PasswordOk = false;
    globals.ParametersRead = false;
    globals.ActivePage = 0;

    globals.TextOper = std::make_unique<TTextOper>();
    // The main window applies the language again when it checks its
    // language button; doing it here serves front ends without one.
    globals.TextOper->SetLanguage(globals.Language);
}

void SetGlobalRelease(GlobalObject object, std::function<void()> release)
{
    (object == GlobalObject::Store ? g_releaseStore : g_releaseCatalogue) = std::move(release);
}

void FreeGlobals()
{
    // Taken out first so that a release that calls back in finds nothing.
    if (auto release = std::exchange(g_releaseStore, nullptr))
        release();
    if (auto release = std::exchange(g_releaseCatalogue, nullptr))
        release();
    Globals().TextOper.reset();
    // The port goes with the store.
    Globals().PortOpened = false;
}

bool WriteSetting(const QString& key, const QString& value)
{
    return WriteIniValue(SettingsFilePath(), QLatin1String(kSettingsSection), key, value);
}

bool WriteSetting(const QString& key, int value)
{
    return WriteSetting(key, QString::number(value));
}

namespace {

constexpr int kMaxStaleSeconds = 86400;
constexpr int kMaxSpoolMb = 1048576;
constexpr int kMaxTimeoutSeconds = 600;
constexpr int kMaxMqttQueue = 1000000;
constexpr qint64 kMiB = 1024 * 1024;

} // namespace

QString DefaultInfluxTokenFile()
{
    return QFileInfo(SettingsFilePath()).absoluteDir().filePath(QStringLiteral("influx-token"));
}

bool WriteSecretFile(const QString& path, const QString& secret, QString* error)
{
    if (secret.isEmpty()) {
        if (!QFile::exists(path) || QFile::remove(path))
            return true;
        if (error)
            *error = QStringLiteral("%1: cannot be removed").arg(QDir::toNativeSeparators(path));
        return false;
    }
    // Made with the owner's rights only, then put in place in one step, so
    // that the secret is never readable by others, not even for a moment.
    const QString temporary = path + QStringLiteral(".new");
    QFile::remove(temporary);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(temporary), file.errorString());
        return false;
    }
    const QByteArray bytes = secret.toUtf8() + '\n';
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    std::error_code failed;
    if (written)
        std::filesystem::rename(temporary.toStdString(), path.toStdString(), failed);
    if (!written || failed) {
        QFile::remove(temporary);
        if (error)
            *error = QStringLiteral("%1: cannot be written").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

std::optional<QString> ReadSecretFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(QDir::toNativeSeparators(path).left(60), file.errorString());
        return std::nullopt;
    }
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

RMonitoringSettings ReadMonitoringSettings()
{
    QByteArray text;
    {
        QFile file(SettingsFilePath());
        if (file.open(QIODevice::ReadOnly))
            text = file.readAll();
    }
    const IniDocument ini = IniDocument::FromBytes(text);
    const QString section = QLatin1String(kMonitoringSection);
    const auto textOf = [&](const char* key, const QString& fallback) {
        return ini.value(section, QLatin1String(key)).value_or(fallback);
    };
    const auto numberOf = [&](const char* key, qint64 fallback, qint64 low, qint64 high) {
        const qint64 value = ParseDecimal(ini.value(section, QLatin1String(key))).value_or(fallback);
        return int(std::clamp(value, low, high));
    };
    RMonitoringSettings settings;
    settings.metricsOn = numberOf("MetricsOn", 0, 0, 1) == 1;
    settings.metricsAddress = textOf("MetricsAddress", settings.metricsAddress);
    settings.metricsStaleSeconds = numberOf("MetricsStaleSeconds", settings.metricsStaleSeconds, 1, kMaxStaleSeconds);
    settings.influxOn = numberOf("InfluxOn", 0, 0, 1) == 1;
    settings.influxUrl = textOf("InfluxUrl", {});
    settings.influxDb = textOf("InfluxDb", {});
    settings.influxTokenFile = textOf("InfluxTokenFile", DefaultInfluxTokenFile());
    // An older file kept the token in BMS.ini; it moves out at the next save.
    settings.influxToken = textOf("InfluxToken", {});
    if (settings.influxToken.isEmpty() && QFile::exists(settings.influxTokenFile))
        settings.influxToken = ReadSecretFile(settings.influxTokenFile).value_or(QString());
    settings.influxTimeoutSeconds =
        numberOf("InfluxTimeoutSeconds", settings.influxTimeoutSeconds, 1, kMaxTimeoutSeconds);
    settings.spoolBytes = numberOf("SpoolMb", settings.spoolBytes / kMiB, 1, kMaxSpoolMb) * kMiB;
    settings.spoolFolder = textOf("SpoolFolder", {});
    settings.mqttOn = numberOf("MqttOn", 0, 0, 1) == 1;
    settings.mqttUrl = textOf("MqttUrl", {});
    settings.mqttUser = textOf("MqttUser", {});
    settings.mqttPasswordFile = textOf("MqttPasswordFile", {});
    settings.mqttPrefix = textOf("MqttPrefix", settings.mqttPrefix);
    settings.mqttRetain = numberOf("MqttRetain", 0, 0, 1) == 1;
    settings.mqttDiscovery = numberOf("MqttDiscovery", 1, 0, 1) == 1;
    settings.mqttQueue = numberOf("MqttQueue", settings.mqttQueue, 1, kMaxMqttQueue);
    return settings;
}

bool WriteMonitoringSettings(const RMonitoringSettings& settings)
{
    const QString path = SettingsFilePath();
    QByteArray text;
    {
        QFile file(path);
        if (file.exists() && !file.open(QIODevice::ReadOnly))
            return false;
        text = file.readAll();
    }
    // The token first: BMS.ini loses it only once it is safe in its file.
    const QString tokenFile =
        settings.influxTokenFile.trimmed().isEmpty() ? DefaultInfluxTokenFile() : settings.influxTokenFile.trimmed();
    if (!WriteSecretFile(tokenFile, settings.influxToken.trimmed()))
        return false;
    IniDocument ini = IniDocument::FromBytes(text);
    const QString section = QLatin1String(kMonitoringSection);
    const auto set = [&](const char* key, const QString& value) { ini.setValue(section, QLatin1String(key), value); };
    const auto flag = [&](const char* key, bool on) { set(key, QString::number(on ? 1 : 0)); };
    flag("MetricsOn", settings.metricsOn);
    set("MetricsAddress", settings.metricsAddress.trimmed());
    set("MetricsStaleSeconds", QString::number(settings.metricsStaleSeconds));
    flag("InfluxOn", settings.influxOn);
    set("InfluxUrl", settings.influxUrl.trimmed());
    set("InfluxDb", settings.influxDb.trimmed());
    ini.removeKey(section, QStringLiteral("InfluxToken"));
    set("InfluxTokenFile", tokenFile);
    set("InfluxTimeoutSeconds", QString::number(settings.influxTimeoutSeconds));
    set("SpoolMb", QString::number(std::max<qint64>(1, settings.spoolBytes / kMiB)));
    set("SpoolFolder", settings.spoolFolder.trimmed());
    flag("MqttOn", settings.mqttOn);
    set("MqttUrl", settings.mqttUrl.trimmed());
    set("MqttUser", settings.mqttUser.trimmed());
    set("MqttPasswordFile", settings.mqttPasswordFile.trimmed());
    set("MqttPrefix", settings.mqttPrefix.trimmed());
    flag("MqttRetain", settings.mqttRetain);
    flag("MqttDiscovery", settings.mqttDiscovery);
    set("MqttQueue", QString::number(settings.mqttQueue));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(ini.toBytes());
    return file.commit();
}

void InitTitleTexts()
{
    AppGlobals& globals = Globals();
    const TTextOper texts;
    globals.Title = texts.GetLanguageText(TextId::kAppTitle);
    globals.Version = QLatin1String(kProgramVersion);
    globals.TitleText3 = texts.GetLanguageText(TextId::kTitleText3);
    globals.TitleText4 = texts.GetLanguageText(TextId::kTitleText4);
    globals.TitleText5 = texts.GetLanguageText(TextId::kTitleText5);
}

QString FormatDeviceTime(const RDeviceTime& time)
{
    // A value wider than its field is written whole.
    if (time.year > 9999 || time.month > 99 || time.day > 99 || time.hour > 99 || time.minute > 99
        || time.second > 99) {
        return QString::asprintf("%04u-%02u-%02u %02u:%02u:%02u", unsigned(time.year), unsigned(time.month),
            unsigned(time.day), unsigned(time.hour), unsigned(time.minute), unsigned(time.second));
    }
    // "yyyy-mm-dd hh:nn:ss", put together digit by digit: every row of a
    // saved log carries one.
    QString text(19, u'0');
    auto put = [&text](qsizetype end, unsigned value, int digits) {
        for (qsizetype i = end - 1; digits > 0; --i, --digits, value /= 10)
            text[i] = QChar(char16_t(u'0' + value % 10));
    };
    put(4, time.year, 4);
    text[4] = u'-';
    put(7, time.month, 2);
    text[7] = u'-';
    put(10, time.day, 2);
    text[10] = u' ';
    put(13, time.hour, 2);
    text[13] = u':';
    put(16, time.minute, 2);
    text[16] = u':';
    put(19, time.second, 2);
    return text;
}
