#include "params/parameter_commands.h"

#include "protocol/devoper.h"

std::uint8_t ReadParameters(TDevOper& oper, std::uint8_t address, std::uint8_t packNumber, RParameter& set)
{
    const char info[] = {static_cast<char>(packNumber)};
    return oper.Execute(address, CommandId::ReadParameters, QByteArrayView(info, 1),
                        [&set, packNumber](const AnswerView& answer) -> std::uint8_t {
                            if (answer.infoCount() < kParameterBlockBytes)
                                return ResultCode::kIncomplete;
                            RParameter decoded = set;
                            decoded.PackNumber = packNumber;
                            DecodeParameterBlock(answer, decoded);
                            set = decoded;
                            return ResultCode::kSuccess;
                        });
}

RParameterWriteResult WriteParameters(TDevOper& oper, std::uint8_t address, std::uint8_t /*packNumber*/,
                                      const RParameter& set, bool restoreDefaults)
{
    RParameterWriteResult outcome;
    if (const auto unfit = FindUnfitParameter(set)) {
        outcome.result = kParameterValueRejected;
        outcome.rejectedId = unfit;
        return outcome;
    }
    outcome.result = oper.Execute(address, CommandId::WriteParameters, EncodeParameterBlock(set, restoreDefaults));
    return outcome;
}

RParameter MergeForWrite(const RParameter& lastRead, const RParameter& edited)
{
    RParameter merged = edited;
    for (std::uint8_t id : kUncataloguedBlockIds)
        merged.Entries[id] = lastRead.Entries[id];
    return merged;
}
