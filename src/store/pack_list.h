#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The packs a bus-wide job covers, as the user writes them: "all" (1 to the
// pack count), single numbers and ranges separated by commas ("1-4,7",
// "1,3,5"). Blanks around the pieces are allowed. Numbers lie in 1..16; a
// number given twice, a backward range, an empty piece or anything else is
// refused with a message that quotes the piece. The packs come back in the
// order given.
std::optional<std::vector<std::uint8_t>> ParsePackList(const QString& text, int packCount, QString* error);

// The same rule for polling, which also takes "auto": every pack from 1 to
// the pack count in turn, reading only their live data. Every other command
// refuses "auto" as ParsePackList does.
struct RPackChoice {
    std::vector<std::uint8_t> packs;
    bool automatic = false;
};
std::optional<RPackChoice> ParsePackChoice(const QString& text, int packCount, QString* error);

// The packs 1 to the pack count (kept within 1..16): what "all" stands for.
std::vector<std::uint8_t> AllPacks(int packCount);

// "1-4, 7" for the packs 1, 2, 3, 4 and 7: the short form of a list, for
// messages and summaries.
QString FormatPackList(const std::vector<std::uint8_t>& packs);
