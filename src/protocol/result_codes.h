#pragma once

#include <cstdint>

// Result codes every pack command returns. 0 is success; the codes below
// come from the host's own answer check; any other value is the pack's RTN.
namespace ResultCode {
inline constexpr std::uint8_t kSuccess = 0x00;
inline constexpr std::uint8_t kBadChecksum = 0x02;
inline constexpr std::uint8_t kBadLengthChecksum = 0x03;
inline constexpr std::uint8_t kBadFrame = 0x05;
inline constexpr std::uint8_t kNoStartCharacter = 0x06;
// "Invalid data": also a sound frame whose length cannot be the answer to
// the command asked.
inline constexpr std::uint8_t kInvalidData = 0x06;
inline constexpr std::uint8_t kWrongAddress = 0x90;
// Half an answer, then the line went quiet: heard on a bus another master
// polls, where the master moves on and nothing more of it comes.
inline constexpr std::uint8_t kCutOff = 0xAA;
// Another maker's pack: only its family's reads are sent, this was not.
inline constexpr std::uint8_t kForeignFamily = 0xA7;
// The pack's family could not be confirmed by reading: nothing but reads is
// sent to it.
inline constexpr std::uint8_t kFamilyUnknown = 0xA8;
// The pack's answers do not fit the family pinned for it: it is not read.
inline constexpr std::uint8_t kFamilyMismatch = 0xA9;
// A value that does not fit its field was refused before anything was sent.
inline constexpr std::uint8_t kValueRejected = 0xAC;
// The port could not be opened, or went away: nothing was sent.
inline constexpr std::uint8_t kPortNotOpen = 0xAB;
inline constexpr std::uint8_t kIncomplete = 0xAD;
inline constexpr std::uint8_t kTooShort = 0xAE;
inline constexpr std::uint8_t kNoAnswer = 0xAF;
} // namespace ResultCode
