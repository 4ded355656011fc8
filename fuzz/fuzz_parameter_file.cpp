// libFuzzer target: a parameter file, whatever a user or an editor made of
// it, is read into a set or refused with the line it stopped at; what it
// lets through always fits the parameter block.

#include "params/parameter_block.h"
#include "params/parameter_file.h"

#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

const RParameter& FreshSet()
{
    static const RParameter set = [] {
        TParameterInfo catalogue;
        catalogue.InitCatalogue();
        return catalogue.NewParameterSet(1);
    }();
    return set;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    RParameter set = FreshSet();
    const RParameterFileResult result = ReadParameterText(text, set);
    Require(result.ok == result.errorText.isEmpty());
    Require(result.ok == (result.errorLine == 0));
    int previousLine = 0;
    for (const RParameterFileLine& line : result.applied) {
        Require(line.lineNumber > previousLine && (result.ok || line.lineNumber < result.errorLine));
        previousLine = line.lineNumber;
        if (const RBlockField* field = FindBlockField(line.id))
            Require(FitsBlockField(*field, line.value));
        if (IsSwitchBitParameter(line.id))
            Require(line.value == Decimal::fromInt(0) || line.value == Decimal::fromInt(1));
    }
    // What the reader applied is what applying its lines gives.
    RParameter applied = FreshSet();
    ApplyParameterLines(result.applied, applied);
    Require(applied == set);
    // Every value it let through can be sent: only the pack's own values
    // (untouched here, all zero and in their fields) could still be refused.
    Require(!FindUnfitParameter(set).has_value());
    return 0;
}
