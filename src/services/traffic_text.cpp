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
