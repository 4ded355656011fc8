#pragma once

#include "protocol/frame_stream.h"
#include "store/bus_listener.h"

#include <cstdint>

// The pack a heard request is about: the pack number its INFO starts with
// for the commands that name one first, else its address.
std::uint8_t PackOfRequest(const RCutFrame& request);

// The family whose form a request has: C by its CID1, D by its VER, A or B
// by VER 0x20 (they share it and CID1: known names the one heard at the
// address before, Unknown when none was), ours for anything else.
PackFamily RequestFamily(const RCutFrame& request, PackFamily known);

// Decodes a sound answer (RTN 0) heard after request with the decoders
// polling uses, after the same answer-length rule: an answer that cannot
// belong to the command is refused (ForeignLength, result "Invalid data")
// and never decoded. Fills the record the command carries and sets the
// outcome and result as polling would give them. heard.cid2, heard.pack and
// heard.family (RequestFamily) must be set.
// Another family's live values and alarm states go through its decoders:
// a live-value answer must fit the family (it tells A from B), an alarm
// answer of A or B not told yet must decode in exactly one of the two;
// otherwise ForeignLength with kFamilyUnknown, never decoded. Its other
// answers are only heard. Pure: no I/O, no store.
void DecodeHeardAnswer(RHeardExchange& heard, const RCutFrame& request, const RCutFrame& answer,
                       const RFamilySettings& settings = {});
