#include "services/family_settings.h"

#include "protocol/devoper.h"
#include "services/settings.h"

#include <QFile>

namespace {

constexpr int kMinCurrentMilliamps = 1;
constexpr int kMaxCurrentMilliamps = 1000;
const QLatin1String kAddressPrefix("Address");

// Bad input is quoted briefly.
QString Quoted(QStringView text)
{
    return QStringLiteral("\"%1\"").arg(text.left(60));
}

// A whole number in decimal, or in hex after "0x"; nothing else.
std::optional<int> ParseNumber(QStringView text)
{
    text = text.trimmed();
    int base = 10;
    if (text.startsWith(u"0x", Qt::CaseInsensitive)) {
        text = text.mid(2);
        base = 16;
    }
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    bool ok = false;
    const int value = text.toInt(&ok, base);
    // toInt takes a sign and spaces, which no address has.
    if (!ok || !text.front().isLetterOrNumber())
        return std::nullopt;
    return value;
}

// Address and family text into a pin, or the reason why not.
std::optional<RFamilyPin> MakePin(QStringView addressText, QStringView familyText, QString& error)
{
    const std::optional<int> address = ParseNumber(addressText);
    if (!address || *address < 0 || *address > 255) {
        error = QStringLiteral("%1 is no address (0 to 255)").arg(Quoted(addressText));
        return std::nullopt;
    }
    const std::optional<PackFamily> family = ParseFamily(familyText.trimmed());
    if (!family) {
        error = QStringLiteral("%1 is no family (ours, A, B, C or D)").arg(Quoted(familyText));
        return std::nullopt;
    }
    const RFamilyRow& row = FamilyRow(*family);
    if (*address < row.firstAddress || *address > row.lastAddress) {
        error = QStringLiteral("packs of family %1 take addresses %2 to %3, not %4")
                    .arg(FamilyName(*family))
                    .arg(row.firstAddress)
                    .arg(row.lastAddress)
                    .arg(*address);
        return std::nullopt;
    }
    return RFamilyPin{std::uint8_t(*address), *family};
}

} // namespace

RFamilyConfig ParseFamilyConfig(const IniDocument& ini)
{
    const QString section = QLatin1String(kFamiliesSection);
    RFamilyConfig config;
    const auto ignore = [&](const QString& key, const QString& why) {
        config.problems.append(QStringLiteral("%1 [%2] %3: %4; the key is ignored")
                                   .arg(QLatin1String(kSettingsFileName), section, key.left(60), why));
    };
    std::vector<bool> pinned(256, false);
    for (const QString& key : ini.keys(section)) {
        const QString value = ini.value(section, key).value_or(QString());
        if (key.compare(u"ACurrentMilliamps", Qt::CaseInsensitive) == 0) {
            const std::optional<int> step = ParseNumber(value);
            if (step && *step >= kMinCurrentMilliamps && *step <= kMaxCurrentMilliamps)
                config.settings.aCurrentMilliamps = *step;
            else
                ignore(key, QStringLiteral("%1 is no current step (%2 to %3 mA)")
                                .arg(Quoted(value))
                                .arg(kMinCurrentMilliamps)
                                .arg(kMaxCurrentMilliamps));
        } else if (key.compare(u"DLastTwoAreMosfetAmbient", Qt::CaseInsensitive) == 0) {
            if (value == u"0" || value == u"1")
                config.settings.dLastTwoAreMosfetAmbient = value == u"1";
            else
                ignore(key, QStringLiteral("%1 is neither 0 nor 1").arg(Quoted(value)));
        } else if (key.startsWith(kAddressPrefix, Qt::CaseInsensitive)) {
            QString error;
            const std::optional<RFamilyPin> pin = MakePin(QStringView(key).mid(kAddressPrefix.size()), value, error);
            if (!pin) {
                ignore(key, error);
            } else if (pinned[pin->address]) {
                // 5 and 0x05 name one address: the first key counts, as a
                // key given twice does.
                ignore(key, QStringLiteral("address %1 is pinned by an earlier key").arg(pin->address));
            } else {
                pinned[pin->address] = true;
                config.pins.push_back(*pin);
            }
        } else {
            ignore(key, QStringLiteral("no such key (AddressN, ACurrentMilliamps, DLastTwoAreMosfetAmbient)"));
        }
    }
    return config;
}

RFamilyConfig ReadFamilyConfig()
{
    QFile file(SettingsFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseFamilyConfig(IniDocument::FromBytes(file.readAll()));
}

std::optional<RFamilyPin> ParseFamilyPin(QStringView text, QString* error)
{
    QString reason;
    const qsizetype colon = text.indexOf(u':');
    std::optional<RFamilyPin> pin;
    if (colon < 0)
        reason = QStringLiteral("%1 is no ADDRESS:FAMILY (5:A, say)").arg(Quoted(text));
    else
        pin = MakePin(text.left(colon), text.mid(colon + 1), reason);
    if (error)
        *error = reason;
    return pin;
}

QStringList ApplyFamilyConfig(TDevOper& oper)
{
    const RFamilyConfig config = ReadFamilyConfig();
    for (const QString& problem : config.problems)
        qWarning("%s", qPrintable(problem));
    oper.SetFamilySettings(config.settings);
    for (const RFamilyPin& pin : config.pins)
        oper.PinFamily(pin.address, pin.family);
    return config.problems;
}
