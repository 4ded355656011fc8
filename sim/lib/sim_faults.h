#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// A fault the simulated bus can be told to show, named as on the command
// line: "silent:ADDR", "noise", "badsum:N", "truncate:N", "wrongaddr:N",
// "rtn:CID2:CODE" (both hex; "rtn:CID2:CODE:ADDR" for one pack only),
// "cut:ADDR:CID2" (hex command), "delay:MS", "slow:ADDR:MS", "glitch",
// "stutter", "garbage", "badclock[:MONTH]", "answeras:CID2" (hex), "echo",
// "chunks:MS" and "short:analog|alarm:cells|temperatures".
enum class SimFaultKind : std::uint8_t {
    Silent,        // the pack at `value` never answers
    Noise,         // garbage characters before every answer's "~"
    BadSum,        // every `value`-th answer carries a wrong CHKSUM
    Truncate,      // every `value`-th answer is cut short
    WrongAddress,  // every `value`-th answer carries another address
    Rtn,           // command `cid2` answers with return code `code` (only the pack at `address`, when not 0)
    Delay,         // every answer comes `value` ms late
    SlowPack,      // the answers of the pack at `address` come `value` ms late
    Glitch,        // one stray character goes out at once, before any delay
    Stutter,       // every answer goes out at once with a garbled CID1, then whole after any delay
    Garbage,       // every answer is line noise without a frame
    BadClock,      // the clock answer carries month `value` (0 when not given)
    AnswerAs,      // every request gets the pack's answer to command `cid2` instead (a write's: the result only)
    Echo,          // every request comes back at once, as a half-duplex adapter hears itself
    Chunks,        // answers arrive in 62-character pieces `value` ms apart, as USB adapters deliver them
    ShortLayout,   // the live answer `cid2` ends after its cells (`value` 1) or temperatures (2), as older firmware sends it
    Cut,           // the answer of the pack at `address` to command `cid2` is cut short
};

// Where a ShortLayout answer ends.
inline constexpr int kShortAfterCells = 1;
inline constexpr int kShortAfterTemperatures = 2;

struct SimFault {
    SimFaultKind kind = SimFaultKind::Noise;
    int value = 0;
    std::uint8_t cid2 = 0;
    std::uint8_t code = 0;
    std::uint8_t address = 0;
};

// Parses one fault; on a malformed text returns nothing and says why.
std::optional<SimFault> ParseSimFault(QStringView text, QString* error = nullptr);
// The text form that ParseSimFault reads back.
QString SimFaultText(const SimFault& fault);
