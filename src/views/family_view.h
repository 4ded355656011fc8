#pragma once

// What the window shows of another maker's pack, apart from what our packs
// show too: the names of its temperatures, its status bytes by their own
// names, and the refusal every command outside its reads gets. Pure
// functions over the records and the store's family state; the frames and
// the pages call them, so a foreign pack reads the same on every page.

#include "protocol/devoper.h"
#include "protocol/records.h"
#include "services/family_texts.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

class TDevInfo;
class TTextOper;

// ---- Live values.

// One temperature as the pack sent it, named by what it measures: "Board",
// "MOSFET", "Ambient", "Cell sensor 2" (cell sensors numbered in the order
// sent).
struct RNamedTemperature {
    QString name;
    Decimal celsius;
    TemperatureRole role = TemperatureRole::CellSensor;
    std::uint8_t state = 0;   // its limit state from the alarm record (0 when none came)
};
std::vector<RNamedTemperature> NamedTemperatures(const RAnalogData& analog, const RAlarmData& alarm,
                                                 const TTextOper& texts);

// The first temperature of a foreign pack that measures role; nothing when
// it sends none (family A has no ambient or MOSFET sensor).
std::optional<Decimal> FamilyTemperature(const RAnalogData& analog, TemperatureRole role);
// Its cell sensor number k (0-based) in the order sent; nothing beyond.
std::optional<Decimal> FamilyCellSensor(const RAnalogData& analog, int k);

// A state of charge or health as the pack sent it, exact ("98.5"); blank
// when it did not send one.
QString PercentText(const std::optional<Decimal>& percent);

// "Family: A" for a foreign pack's panel; empty for ours and unknown.
QString FamilyLine(PackFamily family, const TTextOper& texts);

// What the reads showed of an address's family, as the scan lists it: the
// family, or why none (the VER, CID1 and P the answer had; the two families
// that answered; the pinned family the answers did not fit); empty when
// nothing answered.
QString FamilyStateText(const RPackFamilyState& state, const TTextOper& texts);

// ---- Alarm states.

// FamilyStatusText, FamilyStatusLines and FamilyStatusSummary: services/family_texts.h.

// ---- Refusals.

// "Pack N is of family X: only its live values are read".
QString FamilyRefusalText(std::uint8_t pack, PackFamily family, const TTextOper& texts);
// Whether a command's result is the guard's refusal of a pack it may not
// send to.
bool IsFamilyRefusal(std::uint8_t result);
// The refusal for the pack at address when the store knows it is of
// another family (found or pinned) or does not answer as its pinned family;
// nothing for ours and for an address not known yet, whose commands the
// core's guard settles. pack: the number the message names (the address
// when 0).
std::optional<QString> ForeignPackRefusal(TDevInfo& store, std::uint8_t address, std::uint8_t pack);
// The message of a command's result on the pack at address: the refusal
// text for the guard's refusals (with the reason of a pinned misfit or of a
// family not confirmed on a line of its own), the error text otherwise.
QString CommandResultText(TDevInfo& store, std::uint8_t address, std::uint8_t pack, std::uint8_t result);

// The packs of a run over several packs (their numbers are their
// addresses) split into those to ask and the refusals of those left out.
struct RForeignScreen {
    std::vector<std::uint8_t> packs;
    QStringList refusals;
};
RForeignScreen ScreenForeignPacks(TDevInfo& store, const std::vector<std::uint8_t>& packs);
