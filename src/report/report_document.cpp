#include "report/report_document.h"

#include "params/parameter_info.h"
#include "services/settings.h"
#include "services/textoper.h"
#include "store/pack_poller.h"
#include "store/report_data.h"
#include "store/report_findings.h"
#include "store/report_texts.h"

#include <QStringList>

namespace {

QString Escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// A table cell whose text stays whole on its line (bar codes, values).
QString WholeCell(const QString& escapedText)
{
    return QStringLiteral("<td style=\"white-space:pre\">%1</td>").arg(escapedText);
}

// Fills the "%1" of a text with a value that is escaped on the way.
QString Text(const TTextOper& texts, std::uint16_t id)
{
    return Escaped(texts.GetLanguageText(id));
}

QString LevelColour(ReportLevel level)
{
    switch (level) {
    case ReportLevel::Watch: return QStringLiteral("#b07800");
    case ReportLevel::Service: return QStringLiteral("#c00000");
    case ReportLevel::Incomplete: return QStringLiteral("#7040a0");
    case ReportLevel::Ok: break;
    }
    return QStringLiteral("#007000");
}

QString StatusCell(const RPackReport& pack, const TTextOper& texts)
{
    const bool withLevel = pack.answered || !pack.unread.empty();
    return QStringLiteral("<td style=\"color:%1; white-space:pre\"><b>%2</b></td>")
        .arg(withLevel ? LevelColour(pack.level) : QStringLiteral("#606060"), Escaped(StatusText(pack, texts)));
}

// "Not read: …" for a pack with reads that brought nothing; empty otherwise.
QString NotRead(const RPackReport& pack, const TTextOper& texts)
{
    if (pack.unread.empty())
        return QString();
    return Escaped(texts.GetLanguageText(ReportText::kNotRead).arg(UnreadList(pack, texts)));
}

class Html {
public:
    void heading(int level, const QString& escapedText, bool newPage = false)
    {
        m_out += QStringLiteral("<h%1%2>%3</h%1>\n")
                     .arg(level)
                     .arg(newPage ? QStringLiteral(" style=\"page-break-before: always\"") : QString(), escapedText);
    }
    void paragraph(const QString& escapedText) { m_out += QStringLiteral("<p>%1</p>\n").arg(escapedText); }
    // widths: per cent of the page for each column, or none.
    void tableStart(const QStringList& escapedHeaders, const std::vector<int>& widths = {})
    {
        m_out += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n<tr>");
        for (qsizetype column = 0; column < escapedHeaders.size(); ++column)
            m_out += QStringLiteral("<th bgcolor=\"#e6eef6\"%1>%2</th>")
                         .arg(std::size_t(column) < widths.size() && widths[std::size_t(column)] > 0
                                  ? QStringLiteral(" width=\"%1%\"").arg(widths[std::size_t(column)])
                                  : QString(),
                              escapedHeaders[column]);
        m_out += QStringLiteral("</tr>\n");
    }
    // Cells given as finished HTML (td elements).
    void rawRow(const QString& cells) { m_out += QStringLiteral("<tr>%1</tr>\n").arg(cells); }
    // Cells given as text, or as a finished cell (WholeCell).
    void row(const QStringList& escapedCells)
    {
        QString cells;
        for (const QString& cell : escapedCells)
            cells += cell.startsWith(QLatin1String("<td")) ? cell : QStringLiteral("<td>%1</td>").arg(cell);
        rawRow(cells);
    }
    void tableEnd() { m_out += QStringLiteral("</table>\n"); }
    void image(const QString& source)
    {
        if (!source.isEmpty())
            m_out += QStringLiteral("<p><img src=\"%1\" width=\"500\"></p>\n").arg(Escaped(source));
    }
    void raw(const QString& html) { m_out += html; }
    QString text() const { return m_out; }

private:
    QString m_out;
};

QString Volts(Decimal value) { return value.format(u"0.00") + QStringLiteral(" V"); }
QString Amps(Decimal value) { return value.format(u"0.00") + QStringLiteral(" A"); }
QString Degrees(Decimal value) { return value.format(u"0.0") + QStringLiteral(" °C"); }
QString AmpHours(std::int32_t mah) { return Decimal::fromRatio(mah, 1000).format(u"0.00") + QStringLiteral(" Ah"); }

// The findings, the first `limit` of them (the rack summary keeps its rows
// short; the pack's page lists them all).
QString FindingsList(const RPackReport& pack, const TTextOper& texts, std::size_t limit = SIZE_MAX)
{
    if (pack.findings.empty())
        return Text(texts, ReportText::kNone);
    QStringList items;
    for (const RFinding& finding : pack.findings) {
        if (std::size_t(items.size()) == limit) {
            items << QStringLiteral("(+%1)").arg(pack.findings.size() - limit);
            break;
        }
        items << QStringLiteral("%1: %2").arg(Escaped(LevelText(finding.level, texts)), Escaped(FindingText(finding, texts)));
    }
    return items.join(QStringLiteral("<br>"));
}

constexpr std::size_t kSummaryFindings = 1;

void RackSummary(Html& html, const RReport& report, const TTextOper& texts)
{
    html.heading(2, Text(texts, ReportText::kRackSummary));
    html.tableStart({Text(texts, ReportText::kPack), Text(texts, ReportText::kBarCode),
                     Text(texts, ReportText::kSoftwareVersion), Text(texts, ReportText::kPackVoltage),
                     QStringLiteral("SOC"), Text(texts, ReportText::kSoh), Text(texts, ReportText::kSpread),
                     Text(texts, ReportText::kStatus), Text(texts, ReportText::kFindings)},
                    {});
    for (const RPackReport& pack : report.packs) {
        QString cells = QStringLiteral("<td>%1</td>").arg(pack.packNumber);
        if (!pack.answered) {
            const QString reason = pack.reach == RPackReach::Asked && pack.unread.empty() ? NoAnswerText(pack, texts) : QString();
            cells += QStringLiteral("<td colspan=\"6\">%1</td>").arg(Escaped(reason)) + StatusCell(pack, texts)
                + QStringLiteral("<td>%1</td>").arg(NotRead(pack, texts));
            html.rawRow(cells);
            continue;
        }
        for (const QString& value :
             {Escaped(pack.barCode), pack.deviceInfoRead ? SoftwareVersionHex(pack.softwareVersion) : QString(),
              Volts(pack.analog.totalVoltage), QString::number(pack.analog.soc) + QStringLiteral(" %"),
              QString::number(pack.analog.soh) + QStringLiteral(" %"),
              QString::number(CellSpreadMv(pack.analog.cellVoltages)) + QStringLiteral(" mV")})
            cells += QStringLiteral("<td style=\"white-space:pre\">%1</td>").arg(value);
        QString findings = FindingsList(pack, texts, kSummaryFindings);
        if (!pack.unread.empty())
            findings = pack.findings.empty() ? NotRead(pack, texts) : findings + QStringLiteral("<br>") + NotRead(pack, texts);
        cells += StatusCell(pack, texts) + QStringLiteral("<td>%1</td>").arg(findings);
        html.rawRow(cells);
    }
    html.tableEnd();
}

void Identity(Html& html, const RPackReport& pack, const TTextOper& texts)
{
    html.heading(3, Text(texts, ReportText::kIdentity));
    QStringList product;
    if (pack.productRead)
        for (const QString& text : {pack.product.companyName, pack.product.productionDate, pack.product.moduleName,
                                    pack.product.versionNumber, pack.product.batteryType, pack.product.serialNumber,
                                    pack.product.remark})
            if (!text.trimmed().isEmpty())
                product << Escaped(text.trimmed());
    if (pack.deviceInfoRead)
        for (const QString& text : {pack.deviceName, pack.manufacturer})
            if (!text.trimmed().isEmpty())
                product << Escaped(text.trimmed());
    html.tableStart({Text(texts, ReportText::kBarCode), Text(texts, ReportText::kSoftwareVersion),
                     Text(texts, ReportText::kProductInfo), Text(texts, ReportText::kPackNumber),
                     Text(texts, ReportText::kAddress), Text(texts, ReportText::kClockOffset)});
    html.row({WholeCell(Escaped(pack.barCode)), pack.deviceInfoRead ? SoftwareVersionHex(pack.softwareVersion) : QString(),
              product.join(QStringLiteral("<br>")), QString::number(pack.packNumber), QString::number(pack.address),
              pack.clockRead ? Escaped(texts.GetLanguageText(ReportText::kSeconds).arg(pack.clockOffsetSeconds))
                                   + QStringLiteral(" (") + FormatDeviceTime(pack.packClock) + QLatin1Char(')')
                             : QString()});
    html.tableEnd();
}

void State(Html& html, const RPackReport& pack, const TTextOper& texts)
{
    html.heading(3, Text(texts, ReportText::kState));
    const RAnalogData& analog = pack.analog;
    html.tableStart({Text(texts, ReportText::kPackVoltage), Text(texts, ReportText::kCurrent), QStringLiteral("SOC"),
                     Text(texts, ReportText::kSoh), Text(texts, ReportText::kRemaining),
                     Text(texts, ReportText::kFullCapacity), Text(texts, ReportText::kDesignCapacity),
                     Text(texts, ReportText::kCycleCount)});
    html.row({Volts(analog.totalVoltage), Amps(analog.current), QString::number(analog.soc) + QStringLiteral(" %"),
              QString::number(analog.soh) + QStringLiteral(" %"),
              pack.capacityRead ? AmpHours(pack.remainingMah) : analog.remainingCapacity.format(u"0.00") + QStringLiteral(" Ah"),
              pack.capacityRead ? AmpHours(pack.fullMah) : analog.fullCapacity.format(u"0.00") + QStringLiteral(" Ah"),
              pack.capacityRead ? AmpHours(pack.designMah) : QString(), QString::number(analog.cycleCount)});
    html.tableEnd();

    html.heading(3, Text(texts, ReportText::kCells));
    const CellExtreme low = MinCellVoltage(analog);
    const CellExtreme high = MaxCellVoltage(analog);
    QStringList cells;
    for (int cell = 0; cell < kMaxCells; ++cell)
        cells << QStringLiteral("%1: %2").arg(cell + 1).arg(analog.cellVoltages[std::size_t(cell)]);
    html.paragraph(cells.join(QStringLiteral(" &nbsp; ")) + QStringLiteral(" mV"));
    html.paragraph(QStringLiteral("%1: %2 mV (%3) &nbsp; %4: %5 mV (%6) &nbsp; %7: %8 mV")
                       .arg(Text(texts, ReportText::kLowest))
                       .arg(low.millivolts)
                       .arg(low.position)
                       .arg(Text(texts, ReportText::kHighest))
                       .arg(high.millivolts)
                       .arg(high.position)
                       .arg(Text(texts, ReportText::kSpread))
                       .arg(CellSpreadMv(analog.cellVoltages)));

    html.heading(3, Text(texts, ReportText::kTemperatures));
    QStringList temperatures;
    Decimal lowest = analog.cellTemperatures[0];
    Decimal highest = analog.cellTemperatures[0];
    for (int sensor = 0; sensor < kMaxCellTemperatures; ++sensor) {
        const Decimal value = analog.cellTemperatures[std::size_t(sensor)];
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        temperatures << QStringLiteral("T%1: %2").arg(sensor + 1).arg(Degrees(value));
    }
    temperatures << QStringLiteral("%1: %2").arg(Text(texts, ReportText::kAmbient), Degrees(analog.ambientTemperature));
    temperatures << QStringLiteral("FET: %1").arg(Degrees(analog.fetTemperature));
    html.paragraph(temperatures.join(QStringLiteral(" &nbsp; ")));
    html.paragraph(QStringLiteral("%1: %2 &nbsp; %3: %4")
                       .arg(Text(texts, ReportText::kLowest), Degrees(lowest), Text(texts, ReportText::kHighest),
                            Degrees(highest)));

    html.heading(3, Text(texts, ReportText::kActiveNow));
    QStringList active;
    for (const QString& words : ActiveNowTexts(pack, texts))
        active << Escaped(words);
    html.paragraph(active.isEmpty() ? Text(texts, ReportText::kNone) : active.join(QStringLiteral("<br>")));
}

void Logs(Html& html, const RPackReport& pack, const TTextOper& texts)
{
    html.heading(3, Text(texts, ReportText::kAlarmLog));
    if (!pack.logsRead) {
        html.paragraph(Text(texts, ReportText::kLogsNotRead));
        return;
    }
    if (!pack.alarmLog.state.complete)
        html.paragraph(QStringLiteral("<b>%1</b>").arg(Escaped(LogMissingText(pack.alarmLog.state, true, texts))));
    if (pack.alarmLog.counts.empty()) {
        html.paragraph(Text(texts, ReportText::kNone));
    } else {
        html.tableStart({Text(texts, ReportText::kAlarmMessage), Text(texts, ReportText::kCount),
                         Text(texts, ReportText::kFirst), Text(texts, ReportText::kLast)});
        for (const RAlarmCount& count : pack.alarmLog.counts)
            html.row({Escaped(texts.GetAlarmText(count.code)), QString::number(count.count),
                      FormatDeviceTime(count.first), FormatDeviceTime(count.last)});
        html.tableEnd();
    }

    html.heading(3, Text(texts, ReportText::kWorkLog));
    const RWorkLogSummary& work = pack.workLog;
    if (!work.state.complete)
        html.paragraph(QStringLiteral("<b>%1</b>").arg(Escaped(LogMissingText(work.state, false, texts))));
    if (work.points.empty()) {
        html.paragraph(Text(texts, ReportText::kNone));
        return;
    }
    QStringList lines;
    if (work.lowestCell != 0) {
        lines << QStringLiteral("%1: %2 (%3/%4)")
                     .arg(Text(texts, ReportText::kLowestMostOften))
                     .arg(work.lowestCell)
                     .arg(work.lowestCellTimes)
                     .arg(work.points.size());
        lines << QStringLiteral("%1: %2 mV (%3)")
                     .arg(Text(texts, ReportText::kLargestSpread))
                     .arg(work.largestSpreadMv)
                     .arg(FormatDeviceTime(work.largestSpreadTime));
    }
    if (work.hasTemperatures)
        lines << QStringLiteral("%1: %2 … %3")
                     .arg(Text(texts, ReportText::kTemperatureRange), Degrees(work.minTemperature),
                          Degrees(work.maxTemperature));
    html.paragraph(lines.join(QStringLiteral("<br>")));
}

void Differences(Html& html, const RReport& report, const RPackReport& pack, const TTextOper& texts)
{
    if (!pack.compared)
        return;
    html.heading(3, Text(texts, ReportText::kDifferingParameters));
    html.paragraph(QStringLiteral("%1: %2").arg(Text(texts, ReportText::kReference), Escaped(ReferenceText(report, texts))));
    if (pack.differences.empty()) {
        html.paragraph(Text(texts, ReportText::kNone));
        return;
    }
    html.tableStart({QStringLiteral("Id"), Text(texts, ReportText::kParameter), Text(texts, ReportText::kReference),
                     Text(texts, ReportText::kThisPack)});
    const std::uint8_t language = TTextOper::CurrentLanguage();
    for (const RParameterDifference& difference : pack.differences)
        html.row({QString::number(difference.id),
                  Escaped(TParameterInfo::GetParameterName(difference.id, language, pack.parameters)),
                  Escaped(ParameterValueWithUnit(difference.reference, texts)),
                  Escaped(ParameterValueWithUnit(difference.pack, texts))});
    html.tableEnd();
}

void PackPage(Html& html, const RReport& report, const RPackReport& pack, const TTextOper& texts,
              const ReportImageSource& imageSource)
{
    html.heading(2, QStringLiteral("%1 %2 &nbsp; <span style=\"color:%3\">%4</span>")
                        .arg(Text(texts, ReportText::kPack))
                        .arg(pack.packNumber)
                        .arg(LevelColour(pack.level), Escaped(LevelText(pack.level, texts))),
                 true);
    html.heading(3, Text(texts, ReportText::kFindings));
    html.paragraph(FindingsList(pack, texts));
    if (!pack.unread.empty())
        html.paragraph(QStringLiteral("<b>%1</b>").arg(NotRead(pack, texts)));
    if (!pack.parametersRead)
        html.paragraph(Text(texts, ReportText::kLimitsNotRead));
    Identity(html, pack, texts);
    State(html, pack, texts);
    html.image(imageSource(CellChartName(pack.packNumber)));
    Logs(html, pack, texts);
    if (pack.logsRead)
        html.image(imageSource(WorkChartName(pack.packNumber)));
    Differences(html, report, pack, texts);
}

} // namespace

QString CellChartName(int packNumber)
{
    return QStringLiteral("cells-%1").arg(packNumber);
}

QString WorkChartName(int packNumber)
{
    return QStringLiteral("work-%1").arg(packNumber);
}

QString ReportHtml(const RReport& report, const TTextOper& texts, const ReportImageSource& imageSource)
{
    Html html;
    html.raw(QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n"
                            "<style>body{font-family:sans-serif;font-size:10pt} th{text-align:left}</style>"
                            "</head><body>\n")
                 .arg(Text(texts, ReportText::kTitle)));
    html.heading(1, Text(texts, ReportText::kTitle));
    html.paragraph(Escaped(texts.GetLanguageText(ReportText::kMadeOn)
                               .arg(report.made.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))));
    if (report.cancelled)
        html.paragraph(QStringLiteral("<b>%1</b>").arg(Text(texts, ReportText::kCancelled)));
    if (report.referenceResult != 0)
        html.paragraph(QStringLiteral("<b>%1</b>").arg(Escaped(texts.GetLanguageText(ReportText::kReferenceNotRead)
                                                                   .arg(report.referencePack)
                                                                   .arg(texts.GetErrorText(report.referenceResult)))));
    RackSummary(html, report, texts);
    for (const RPackReport& pack : report.packs)
        if (pack.answered)
            PackPage(html, report, pack, texts, imageSource);
    html.heading(2, Text(texts, ReportText::kRules), true);
    for (const std::uint16_t rule : {ReportText::kRuleSpread, ReportText::kRuleTemperature, ReportText::kRuleProtection,
                                     ReportText::kRuleClock, ReportText::kRuleVersion, ReportText::kRuleSoh})
        html.paragraph(Text(texts, rule));
    html.raw(QStringLiteral("</body></html>\n"));
    return html.text();
}
