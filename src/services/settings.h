#pragma once

#include "protocol/records.h"
#include "services/textoper.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The values the whole program shares: folders, settings from BMS.ini, the
// selection state of the main window, the password state, the title texts
// and the global text service.
//
// Thread rule: everything is written on the user-interface thread. The
// polling thread reads the port and the selection bytes, and writes
// SelectedPack and SelectedAddress before each pack it polls; those are
// atomics. What it polls comes from its plan (RPollPlan), which the window
// fills from the selection state. The strings are fixed by LoadSettings
// before any thread starts or changed on the user-interface thread only.
struct AppGlobals {
    // The folder of the program file, with a trailing "/".
    QString ProgramPath;
    // The base of every file the program writes (BMS.ini, the password,
    // "Data", "Parameter", "Excel"), with a trailing "/": the program
    // folder, or the user's data folder when the program folder cannot be
    // written.
    QString AppPath;
    QString DataPath;
    QString ParameterPath;

    std::atomic<std::uint8_t> Language{0};
    std::atomic<std::uint8_t> PortNumber{1};
    std::atomic<std::int32_t> BaudRate{9600};
    std::atomic<std::uint8_t> PackCount{1};
    std::atomic<std::uint8_t> PackRead{1};
    std::atomic<std::uint8_t> SelectedPack{0};
    std::atomic<std::uint8_t> SelectedAddress{0};
    std::atomic<bool> AutoPolling{false};
    std::atomic<bool> ClockSync{false};
    std::atomic<bool> DisplayRecord{false};
    std::atomic<bool> AutoSave{false};
    std::atomic<bool> AutoScroll{false};
    std::atomic<std::uint8_t> ActivePage{0};
    // The user opened the port with the port button and has not closed it
    // (it may have gone away since, with the adapter).
    std::atomic<bool> PortOpened{false};
    // The port is open to listen only: the polling thread hears a bus that
    // another master polls, and nothing may be sent on it.
    std::atomic<bool> Listening{false};

    QString StoredPassword;
    std::atomic<bool> PasswordOk{false};
    std::atomic<bool> ParametersRead{false};

    QString Title;
    QString Version;
    QString TitleText3;
    QString TitleText4;
    QString TitleText5;

    // The global text service the pages use; created by LoadSettings.
    std::unique_ptr<TTextOper> TextOper;
};

AppGlobals& Globals();

// The version shown in the window caption.
inline constexpr const char* kProgramVersion = "V6.3";
// The name of the settings file and its section.
inline constexpr const char* kSettingsFileName = "BMS.ini";
inline constexpr const char* kSettingsSection = "BMS";
// The key naming the code page of texts on the wire (bar codes, product
// texts); missing or empty: the system's code page on Windows, GB18030
// elsewhere. Read at start, never written.
inline constexpr const char* kWireEncodingKey = "WireEncoding";
// The key giving the milliseconds added to each reply window on a tcp://
// port (0 to 10000, default 200). Read at start, never written.
inline constexpr const char* kNetworkAllowanceKey = "NetworkAllowanceMs";

// Start-up: fixes the folders (creating "Data" and "Parameter"), reads
// BMS.ini with its defaults and limits, reads the password and creates the
// text service. The program folder is the folder of the running program;
// tests pass a folder of their own.
//
// The pack data store and the parameter catalogue live in libraries above
// this one: their owner creates them right after LoadSettings and hands
// their release to SetGlobalRelease, so FreeGlobals frees all three in the
// order store, catalogue, text service.
void LoadSettings();
void LoadSettings(const QString& programFolder);
// Names the running program for the user data folder, which LoadSettings
// uses when the program's own folder cannot be written (an installed
// program). The window and bmstool take the same name, so both read the
// same BMS.ini and port map.
void NameApplication();

enum class GlobalObject : std::uint8_t { Store, Catalogue };
void SetGlobalRelease(GlobalObject object, std::function<void()> release);
// Frees the store, the catalogue and the text service, in this order. Safe
// to call twice.
void FreeGlobals();

// Writes one key of section "BMS" in AppPath + "BMS.ini" and closes the
// file at once. Other keys and sections of the file are kept.
bool WriteSetting(const QString& key, const QString& value);
bool WriteSetting(const QString& key, int value);
QString SettingsFilePath();

// The outputs of the readings for long-term monitoring, as one value that
// both section [Monitoring] of BMS.ini (the window) and the options of
// "bmstool poll" and "bmstool listen" fill. Texts as the user gave them;
// the output layer checks them where it starts the outputs.
inline constexpr const char* kMonitoringSection = "Monitoring";
struct RMonitoringSettings {
    // The per-pack CSV logs; empty: none. Only the tool writes them (the
    // window keeps its own logs), so BMS.ini has no key for it.
    QString csvFolder;

    bool metricsOn = false;
    QString metricsAddress = QStringLiteral("127.0.0.1:9464");   // [ADDRESS:]PORT
    int metricsStaleSeconds = 60;                                // 1 to 86400

    bool influxOn = false;
    QString influxUrl;
    QString influxDb;
    // Never kept in BMS.ini: the window keeps it in influxTokenFile, a file
    // only its user can read; the tool takes it from an option, a file or
    // the environment.
    QString influxToken;
    QString influxTokenFile;
    int influxTimeoutSeconds = 20;                      // 1 to 600
    std::int64_t spoolBytes = 64LL * 1024 * 1024;       // BMS.ini: SpoolMb, whole MiB 1 to 1048576
    QString spoolFolder;                                // empty: the user's data folder

    bool mqttOn = false;
    QString mqttUrl;            // mqtt://[USER[:PASSWORD]@]HOST[:PORT]
    QString mqttUser;           // besides the URL's, for the window's dialog
    QString mqttPasswordFile;   // its first line is the password
    QString mqttPassword;       // from the URL, the file or the environment; never kept in BMS.ini
    QString mqttPrefix = QStringLiteral("bms");
    bool mqttRetain = false;
    bool mqttDiscovery = true;
    int mqttQueue = 1000;

    friend bool operator==(const RMonitoringSettings&, const RMonitoringSettings&) = default;
};
// Missing or unreadable keys keep their defaults; numbers out of range are
// brought into it. The token is read from the token file (or, from an
// older BMS.ini, from its InfluxToken key until the next save).
RMonitoringSettings ReadMonitoringSettings();
// All keys in one write: false, with the file as it was, when it failed.
// The token goes to the token file, created readable by its owner only
// (the file beside BMS.ini by default), and leaves BMS.ini.
bool WriteMonitoringSettings(const RMonitoringSettings& settings);
// Where the window keeps the token unless told otherwise.
QString DefaultInfluxTokenFile();
// Writes the token into a file only its owner can read and write (0600);
// an empty token removes the file. false with the reason.
bool WriteSecretFile(const QString& path, const QString& secret, QString* error = nullptr);
// The first line of a secret file; none with the reason when it cannot be read.
std::optional<QString> ReadSecretFile(const QString& path, QString* error = nullptr);

// Whether files can be created in the folder, which is created when it is
// missing.
bool CanWriteIn(const QString& folder);

// Title = text 0x0201, Version = "V6.3", title texts 3 to 5 = texts 0x0203
// to 0x0205, in the current language.
void InitTitleTexts();

// "yyyy-mm-dd hh:nn:ss"; the year has at least four digits.
QString FormatDeviceTime(const RDeviceTime& time);
