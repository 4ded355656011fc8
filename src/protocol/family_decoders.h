#pragma once

#include "protocol/answer_view.h"
#include "protocol/pack_family.h"
#include "protocol/records.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

// Pure decoders of other families' answers: bytes in, record out, no I/O.
// Every read goes through AnswerView, so nothing a pack sends can make them
// leave the answer buffer. Values are exact, in the units of the family
// table converted to ours (V, A, Ah, °C).

// How a 0x42 answer fits the families: the family whose layout it has, or
// Unknown with what was found (the values a message shows as the reason).
struct RFamilyFit {
    PackFamily family = PackFamily::Unknown;
    std::uint8_t version = 0;        // VER of the answer
    std::uint8_t cid1 = 0;           // CID1 of the answer
    std::uint8_t rtn = 0;
    int userDefinedCount = -1;       // P found by walking M and N; -1: the answer ends before it
    friend bool operator==(const RFamilyFit&, const RFamilyFit&) = default;
};

// The family a sound 0x42 answer (any RTN) fits, asked in the request form
// of asked: VER, CID1 and the user-defined count must all agree with one
// row of the family table (P 2 or 4: A; 10: B; 15: C, whose temperature
// count is N + 2; 3: D; VER 0x21 and our layout: ours), and the layout must
// hold every field up to its end. An answer with RTN other than 0 fits none.
RFamilyFit FitAnalogAnswer(const AnswerView& answer);

// 0x42 answer of a family's pack into record: the shared fields, and the
// rest in record.extra; record.family is set and record.time is now. Returns
// 0 on success; ResultCode::kWrongAddress when the answer names another
// pack; ResultCode::kBadFrame when it does not fit the family's layout (more
// than 16 cells or kMaxFamilyTemperatures temperatures, a P the family does
// not send, an answer that ends early). Nothing is written unless 0.
std::uint8_t DecodeFamilyAnalog(PackFamily family, const AnswerView& answer, std::uint8_t address,
                                const QDateTime& now, const RFamilySettings& settings, RAnalogData& record);

// 0x44 answer of a family's pack: limit states into the shared fields,
// status bytes and per-cell fault bits into record.extra. Same results as
// above; nothing is written unless 0. The settings say which temperature
// states are cell sensors (the shared fields carry the first four of them).
std::uint8_t DecodeFamilyAlarm(PackFamily family, const AnswerView& answer, std::uint8_t address,
                               RAlarmData& record, const RFamilySettings& settings = {});

// What a family's identity reads give.
struct RFamilyIdentity {
    QString deviceName;
    QString manufacturer;
    QString softwareVersion;   // as the pack writes it ("1.02", or two bytes as "1.2")
    QString serialNumber;
    QString firmwareVersion;
    friend bool operator==(const RFamilyIdentity&, const RFamilyIdentity&) = default;
};
// One identity answer (cid2 one of FamilyRow(family).identity) merged into
// identity. False, and nothing written, when it is too short for its layout.
bool DecodeFamilyIdentity(PackFamily family, std::uint8_t cid2, const AnswerView& answer,
                          RFamilyIdentity& identity);
