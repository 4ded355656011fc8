#pragma once

#include "protocol/frame_stream.h"
#include "store/bus_listener.h"

#include <cstdint>

// The pack a heard request is about: the pack number its INFO starts with
// for the commands that name one first, else its address.
std::uint8_t PackOfRequest(const RCutFrame& request);

// Decodes a sound answer (RTN 0) heard after request with the decoders
// polling uses, after the same answer-length rule: an answer that cannot
// belong to the command is refused (ForeignLength, result "Invalid data")
// and never decoded. Fills the record the command carries and sets the
// outcome and result as polling would give them. heard.cid2 and heard.pack
// must be set. Pure: no I/O, no store.
void DecodeHeardAnswer(RHeardExchange& heard, const RCutFrame& request, const RCutFrame& answer);
