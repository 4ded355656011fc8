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

// A command's result as a message in the selected language: the code's
// text ("2--Checksum error"), or for a code the pack itself returned "the
// pack answered with return code 0x02 (Checksum error)", so that the two
// are never taken for each other.
QString CommandResultText(std::uint8_t result, bool packReturned);
// Whether the last exchange on the link ended with result because the pack
// itself returned it (a sound frame with that RTN).
bool PackReturnedLast(const TTrafficLog& traffic, std::uint8_t result);
