#include "services/traffic_text.h"

#include "services/text_ids.h"
#include "services/textoper.h"

QString TrafficResultText(const RTrafficRecord& record)
{
    if (!record.examined)
        return QStringLiteral("-");
    const TTextOper texts;
    QString text = texts.GetErrorText(record.result);
    if (record.reason != record.result)
        text += QStringLiteral(" (%1)").arg(texts.GetErrorText(record.reason));
    if (record.foreignAnswer)
        text += QStringLiteral(" (%1)").arg(texts.GetLanguageText(TextId::kForeignAnswer));
    if (record.packRtn)
        text.prepend(QStringLiteral("RTN "));
    const QString wire = record.CalibrationWireNumbers();
    if (!record.givenValues.isEmpty() && !wire.isEmpty())
        text += QStringLiteral("; ") + texts.GetLanguageText(TextId::kCalibrationGivenSent).arg(record.givenValues, wire);
    return text;
}

QString TrafficAnswerText(const RTrafficRecord& record)
{
    return FormatTrafficAnswer(record, TTextOper().GetLanguageText(TextId::kTrafficEchoSkipped));
}

QString TrafficLine(const RTrafficRecord& record)
{
    return FormatTrafficLine(record, TrafficResultText(record),
                             TTextOper().GetLanguageText(TextId::kTrafficEchoSkipped));
}

QString CommandResultText(std::uint8_t result, bool packReturned)
{
    const TTextOper texts;
    const QString text = texts.GetErrorText(result);
    if (!packReturned || result == 0)
        return text;
    // The bare text, without the decimal code in front.
    const QString bare = text.section(QStringLiteral("--"), 1);
    const QString hex = QString::number(result, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    if (bare.isEmpty())
        return texts.GetLanguageText(TextId::kPackReturnCodeOnly).arg(hex);
    return texts.GetLanguageText(TextId::kPackReturnCode).arg(hex, bare);
}

bool PackReturnedLast(const TTrafficLog& traffic, std::uint8_t result)
{
    const std::uint64_t last = traffic.LastSequence();
    if (last == 0)
        return false;
    const std::vector<RTrafficRecord> records = traffic.Since(last - 1);
    return !records.empty() && records.back().packRtn && records.back().result == result;
}
