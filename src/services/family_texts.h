#pragma once

// The texts of another family's status bytes: each name of
// FamilyStatusNames with a text of its own in every language, for the
// window's alarm panel and the real-time log alike.

#include "protocol/records.h"

#include <QString>

#include <string_view>
#include <vector>

class TTextOper;

// The text of one status byte name ("alarm_event_3" -> "Alarm event 3");
// the name itself when no text knows it.
QString FamilyStatusText(std::string_view name, const TTextOper& texts);

// The status bytes of a foreign pack's alarm record that are not 0, by
// their own names, in the order sent; none for ours.
struct RFamilyStatusLine {
    QString name;
    std::uint8_t value = 0;
};
std::vector<RFamilyStatusLine> FamilyStatusLines(const RAlarmData& alarm, const TTextOper& texts);
// "Alarm event 1: 0x04" for each of them, joined by separator; empty when
// every byte is 0.
QString FamilyStatusSummary(const RAlarmData& alarm, const TTextOper& texts,
                            const QString& separator = QStringLiteral("\n"));
