#pragma once

#include "params/parameter_file.h"
#include "params/parameter_info.h"

#include <QString>

#include <cstdint>
#include <vector>

// Comparing and copying parameter sets between the packs of one bus.

// The RS485 address (id 1) and the node number (id 11) differ from pack to
// pack by nature: they are never counted as differences and never copied
// from one pack to another.
bool IsPerPackParameter(std::uint8_t id);

// The ids of the used catalogue entries whose values differ between the two
// sets, in id order, the per-pack ones left out.
std::vector<std::uint8_t> DifferingParameters(const RParameter& reference, const RParameter& other);

// The pack's own set (as read from it) with the value of every used
// catalogue entry taken from wanted, except the per-pack ones. The fields
// without a catalogue entry and the pack number stay the pack's.
RParameter TakeSharedParameters(const RParameter& packOwn, const RParameter& wanted);

// A reference file is compared as the user reads it: every id once, and no
// value with more decimals than its parameter shows (it would look equal to
// a pack's value and still differ). Empty when the lines are good,
// otherwise why, naming the line (both lines for an id given twice).
// catalogue: a set whose entries give the decimals.
QString RefusedReferenceLines(const std::vector<RParameterFileLine>& lines, const RParameter& catalogue);
