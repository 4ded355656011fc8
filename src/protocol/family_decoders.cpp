#include "protocol/family_decoders.h"

#include "protocol/result_codes.h"

RFamilyFit FitAnalogAnswer(const AnswerView& answer)
{
    RFamilyFit fit;
    fit.version = answer.byte(1);
    fit.cid1 = answer.byte(3);
    fit.rtn = answer.rtn();
    return fit;
}

std::uint8_t DecodeFamilyAnalog(PackFamily, const AnswerView&, std::uint8_t, const QDateTime&, const RFamilySettings&,
                                RAnalogData&)
{
    return ResultCode::kBadFrame;
}

std::uint8_t DecodeFamilyAlarm(PackFamily, const AnswerView&, std::uint8_t, RAlarmData&)
{
    return ResultCode::kBadFrame;
}

bool DecodeFamilyIdentity(PackFamily, std::uint8_t, const AnswerView&, RFamilyIdentity&)
{
    return false;
}
