#include "store/bus_texts.h"

#include "services/textoper.h"

namespace {

constexpr std::uint16_t kOutOfRange = 0x710A;   // the parameter page's text

QString IdList(const std::vector<std::uint8_t>& ids)
{
    QStringList texts;
    for (std::uint8_t id : ids)
        texts << QString::number(id);
    return texts.join(QLatin1Char(' '));
}

} // namespace

QString BatchStepText(const RPackWriteOutcome& outcome, const TTextOper& texts)
{
    switch (outcome.step) {
    case RBatchStep::Written:
        return texts.GetLanguageText(BusText::kWrittenVerified);
    case RBatchStep::ReadFailed:
        return texts.GetLanguageText(BusText::kNotReadNothingWritten) + QStringLiteral(": ")
            + texts.GetErrorText(outcome.result);
    case RBatchStep::Refused:
        return texts.GetLanguageText(BusText::kRefusedNothingWritten) + QStringLiteral(": ") + outcome.refusedName
            + QStringLiteral("--") + texts.GetLanguageText(kOutOfRange);
    case RBatchStep::WriteFailed:
        return texts.GetLanguageText(BusText::kWriteFailed) + QStringLiteral(": ") + texts.GetErrorText(outcome.result);
    case RBatchStep::VerifyFailed:
        return texts.GetLanguageText(BusText::kVerifyFailed) + QStringLiteral(": ")
            + (outcome.result != 0 ? texts.GetErrorText(outcome.result)
                                   : QStringLiteral("id ") + IdList(outcome.mismatchIds));
    }
    return {};
}

QString OffsetText(const std::optional<qint64>& seconds)
{
    if (!seconds)
        return QStringLiteral("?");
    return *seconds > 0 ? QStringLiteral("+%1").arg(*seconds) : QString::number(*seconds);
}

QString ReachText(RPackReach reach, const TTextOper& texts)
{
    switch (reach) {
    case RPackReach::Asked: break;
    case RPackReach::NotTried: return texts.GetLanguageText(BusText::kNotTried);
    case RPackReach::PortLost: return texts.GetLanguageText(BusText::kPortLostNotTried);
    }
    return QString();
}
