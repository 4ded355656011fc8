#pragma once

#include "protocol/traffic_log.h"

#include <QString>

// The result of a recorded exchange in the selected language: the code's
// text, the reason's text after it in brackets where the answer check met
// another fault first, "RTN " before it when the pack itself returned the
// code, "-" when the answer was not checked. An answer that belongs to
// another command says so; a calibration write names the values given and
// the numbers sent.
QString TrafficResultText(const RTrafficRecord& record);
// The answer with a skipped echo marked as such, in the selected language.
QString TrafficAnswerText(const RTrafficRecord& record);
// The record as one line, as the traffic console copies and saves it and
// bmstool --trace prints it.
QString TrafficLine(const RTrafficRecord& record);
