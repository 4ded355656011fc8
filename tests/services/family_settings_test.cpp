// Section [Families] of BMS.ini and the command line's ADDRESS:FAMILY pins.

#include "services/family_settings.h"

#include <gtest/gtest.h>

namespace {

RFamilySettings Settings(int aCurrentMilliamps, bool dLastTwoAreMosfetAmbient)
{
    return RFamilySettings{aCurrentMilliamps, dLastTwoAreMosfetAmbient};
}

} // namespace

// Good keys are taken; a bad one is ignored with a message that names it,
// and its default stays.
TEST(FamilySettings, TheSectionGivesPinsAndSettingsAndNamesEveryKeyItIgnores)
{
    const RFamilySettings defaults;
    struct Case {
        const char* lines;
        std::vector<RFamilyPin> pins;
        RFamilySettings settings;
        QStringList ignoredKeys;
    };
    const Case cases[] = {
        {"Address5=A\nAddress0x0C=b\naddress7 = Ours\n",
         {{5, PackFamily::A}, {12, PackFamily::B}, {7, PackFamily::Ours}}, defaults, {}},
        {"ACurrentMilliamps=10\nDLastTwoAreMosfetAmbient=0\n", {}, Settings(10, false), {}},
        // Family A packs start at address 2; ours end at 16.
        {"Address1=A\nAddress17=ours\nAddress16=ours\n", {{16, PackFamily::Ours}}, defaults,
         {"Address1", "Address17"}},
        {"Address300=D\nAddress5=E\nAddressX=A\nAddress=B\nAddress-3=C\n", {}, defaults,
         {"Address300", "Address5", "AddressX", "Address", "Address-3"}},
        {"Address5=A\nAddress0x05=B\n", {{5, PackFamily::A}}, defaults, {"Address0x05"}},
        {"ACurrentMilliamps=0\nACurrentMilliamps2=5\nDLastTwoAreMosfetAmbient=yes\nColour=red\n", {}, defaults,
         {"ACurrentMilliamps", "ACurrentMilliamps2", "DLastTwoAreMosfetAmbient", "Colour"}},
        {"ACurrentMilliamps=1001\n", {}, defaults, {"ACurrentMilliamps"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const QByteArray text = QByteArray("[BMS]\nAddress9=A\n[Families]\n") + c.lines + "[Other]\nAddress3=B\n";
        const RFamilyConfig config = ParseFamilyConfig(IniDocument::FromBytes(text));
        EXPECT_EQ(config.pins, c.pins);
        EXPECT_EQ(config.settings, c.settings);
        ASSERT_EQ(config.problems.size(), c.ignoredKeys.size()) << config.problems.join(u'\n').toStdString();
        for (qsizetype i = 0; i < c.ignoredKeys.size(); ++i) {
            EXPECT_TRUE(config.problems[i].contains(QStringLiteral("[Families] %1:").arg(c.ignoredKeys[i])))
                << config.problems[i].toStdString();
            EXPECT_TRUE(config.problems[i].endsWith(QLatin1String("the key is ignored")));
        }
    }
}

TEST(FamilySettings, CommandLinePinsReadAddressColonFamily)
{
    struct Case {
        const char* text;
        std::optional<RFamilyPin> pin;
        const char* reason;   // part of the message when refused
    };
    const Case cases[] = {
        {"5:A", RFamilyPin{5, PackFamily::A}, ""},
        {"0x0C:d", RFamilyPin{12, PackFamily::D}, ""},
        {"5", std::nullopt, "no ADDRESS:FAMILY"},
        {"5:E", std::nullopt, "\"E\" is no family"},
        {"1:A", std::nullopt, "take addresses 2 to 255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        EXPECT_EQ(ParseFamilyPin(QString::fromLatin1(c.text), &error), c.pin);
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        EXPECT_EQ(error.isEmpty(), c.pin.has_value());
    }
}
