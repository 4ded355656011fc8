#pragma once

#include "protocol/pack_family.h"
#include "services/ini_document.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

class TDevOper;

// Section [Families] of BMS.ini: the family of the pack at an address, when
// the user names it rather than letting the program find it, and the
// settings of the families where their makers' documents and their packs
// disagree.
//   Address5=A                  the pack at address 5 is of family A (ours,
//                               A, B, C or D, any case; the address in
//                               decimal or as 0x..)
//   ACurrentMilliamps=100       family A's current step, 1 to 1000 mA
//   DLastTwoAreMosfetAmbient=1  family D's last two temperatures are the
//                               MOSFET and the ambient sensor (0: cell sensors)
inline constexpr const char* kFamiliesSection = "Families";

struct RFamilyPin {
    std::uint8_t address = 0;
    PackFamily family = PackFamily::Unknown;
    friend bool operator==(const RFamilyPin&, const RFamilyPin&) = default;
};

struct RFamilyConfig {
    std::vector<RFamilyPin> pins;   // in the order of the keys
    RFamilySettings settings;
    // One message per key that was ignored, naming the key.
    QStringList problems;
};

// The one reader of [Families]: a key with a bad value is ignored (its
// default stays) and said so in problems.
RFamilyConfig ParseFamilyConfig(const IniDocument& ini);
// [Families] of the BMS.ini LoadSettings found.
RFamilyConfig ReadFamilyConfig();
// One pin as the command line gives it, "ADDRESS:FAMILY" ("5:A"); none,
// with the reason in error, for anything else.
std::optional<RFamilyPin> ParseFamilyPin(QStringView text, QString* error = nullptr);
// Start-up of either front end, right after the link object is made: reads
// [Families], warns about every key ignored, and hands the pins and the
// settings to the link object. Returns the warnings.
QStringList ApplyFamilyConfig(TDevOper& oper);
