#pragma once

#include "params/parameter_block.h"
#include "params/parameter_info.h"
#include "protocol/result_codes.h"

#include <cstdint>
#include <optional>

class TDevOper;

// Reading and writing a pack's parameter block. Both run one exchange
// through TDevOper::Execute, which holds the link lock for all of it; call
// them from the thread that owns the page (never while polling runs).

// Result of a host-side refusal of WriteParameters: a value does not fit its
// block field, so nothing was sent. The code sits beside the host's answer
// check codes (0xAD..0xAF); the write result also names the parameter.
inline constexpr std::uint8_t kParameterValueRejected = ResultCode::kValueRejected;

struct RParameterWriteResult {
    // 0, an answer check code, the pack's RTN, or kParameterValueRejected.
    std::uint8_t result = 0;
    // With kParameterValueRejected: the id of the first value that does not
    // fit (its position in the set; uncatalogued ids have no name).
    std::optional<std::uint8_t> rejectedId;

    bool ok() const { return result == 0; }
};

// Sends the pack number, and on success decodes the block into a copy of the
// set with PackNumber := packNumber and stores it back. An answer whose RTN
// is 0 but that carries other than the 166 block bytes leaves the set as it
// was and returns ResultCode::kInvalidData: a short block would decode as
// zeros and -40 °C, which the pack never said.
std::uint8_t ReadParameters(TDevOper& oper, std::uint8_t address, std::uint8_t packNumber, RParameter& set);

// Writes the set (block plus restore-defaults byte). The pack number is not
// part of the block; it is taken for symmetry with ReadParameters. Every
// value is checked against its field before anything is sent, also when the
// pack is asked to restore its defaults.
//
// The eleven uncatalogued fields are sent from the set's positions. A set
// that was read from the pack carries them; a set made any other way (a
// fresh set with a file imported over it) must first go through
// MergeForWrite with the set last read from that pack, or they would be sent
// as zeros and silently change the pack.
RParameterWriteResult WriteParameters(TDevOper& oper, std::uint8_t address, std::uint8_t packNumber,
                                      const RParameter& set, bool restoreDefaults);

// The edited set with the uncatalogued block fields taken from lastRead, the
// set last read from the same pack. Catalogue entries come from edited.
RParameter MergeForWrite(const RParameter& lastRead, const RParameter& edited);
