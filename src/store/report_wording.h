#pragma once

#include "store/report_data.h"

#include <QString>
#include <QStringList>

class TTextOper;

// The words of a report, made where it is shown (window, HTML and PDF,
// bmstool): the report's data holds numbers and codes only.

// "OK", "Incomplete", "Watch", "Service" in the current language.
QString LevelText(ReportLevel level, const TTextOper& texts);
// A finding as a sentence naming the value and the limit behind it.
QString FindingText(const RFinding& finding, const TTextOper& texts);
// One thing that could not be read: "alarm data (0x44): No answer".
QString UnreadText(const RUnreadItem& item, const TTextOper& texts);
// All that could not be read of a pack, joined by "; " (empty: nothing).
QString UnreadList(const RPackReport& pack, const TTextOper& texts);
// A pack's status word: its level when it answered or was incomplete,
// otherwise "no answer", "not tried" or "port lost".
QString StatusText(const RPackReport& pack, const TTextOper& texts);
// Why a pack that was asked did not answer (its result code's text).
QString NoAnswerText(const RPackReport& pack, const TTextOper& texts);
// The alarms, then the protections, active when the pack was read, each
// joined by " / "; an empty list for none.
QStringList ActiveNowTexts(const RPackReport& pack, const TTextOper& texts);
// "Alarm Log missing: No answer" for a log that did not come whole.
QString LogMissingText(const RLogState& state, bool alarmLog, const TTextOper& texts);
// A parameter's value with its unit, as the report shows it.
QString ParameterValueWithUnit(const RParameterKind& entry, const TTextOper& texts);
// What the parameters were compared with: the file's name or "Pack 3".
QString ReferenceText(const RReport& report, const TTextOper& texts);

// Names a script can match, the same in every language.
QString ReportLevelName(ReportLevel level);   // "ok", "incomplete", "watch", "service"
// The pack's level by name, or for a pack without one "no_answer",
// "not_tried" or "port_lost" (as StatusText decides).
QString ReportStatusName(const RPackReport& pack);
QString ReportRuleName(ReportRule rule);      // "spread", "temperature", ...
QString ReportUnitName(ReportUnit unit);      // "mV", "°C", "s", "%", "" for none
