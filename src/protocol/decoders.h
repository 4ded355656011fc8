#pragma once

#include "protocol/answer_view.h"
#include "protocol/decimal.h"
#include "protocol/records.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

// Pure decoders of the pack answers and the value encodings the commands
// share: bytes in, record out, no I/O. Every read goes through AnswerView,
// so nothing a pack sends can make them leave the 500-byte answer buffer.

// Analog data answer (measurements) of the requested pack into record.
// Returns 0 and fills the whole record (time = now) on success; 0x90 when
// the pack echoes another number. Fields the answer does not carry keep the
// blank value 0: cells and temperatures beyond its counts, and every field
// that lies past the end of an answer that stops early (a missing
// temperature is 0, not -40 °C). An answer with more than 16 cells or with
// a temperature count outside 2..6 does not fit the record: it is rejected
// with 0x05 rather than shown half right. Nothing is written unless the
// result is 0.
std::uint8_t DecodeAnalogData(const AnswerView& answer, std::uint8_t requestedPack, const QDateTime& now,
                              RAnalogData& record);

// Alarm answer (limit states and status bytes) of the requested pack. Returns
// false and leaves record untouched when the pack echoes another number.
// Otherwise replaces the states, short-circuit word and status bytes and
// keeps the record's pack number and time. States beyond the 16 cells and 4
// temperatures the record holds are skipped, so the fields after them are
// still read at their right place. An answer that stops early fills what it
// carries; the fields past its end stay clear.
bool DecodeAlarmData(const AnswerView& answer, std::uint8_t requestedPack, RAlarmData& record);

// Clock answer: year (a word), month, day, hour, minute, second. Nothing
// (and the record untouched) when the answer ends early.
bool DecodeDateTime(const AnswerView& answer, RDeviceTime& time);
// Bar code answer: the pack number it echoes, then the 30-character code.
// False, and nothing written, when it is too short to hold them.
bool DecodeBarCode(const AnswerView& answer, QString& barCode, std::uint8_t* echoedPack = nullptr);
// Device information answer: the name (10 characters, two numbers kept
// inside it), the software version and the maker (20 characters). False,
// and nothing written, when it is too short to hold them.
bool DecodeDeviceInfo(const AnswerView& answer, std::uint16_t& softwareVersion, QString& deviceName,
                      QString& manufacturer, std::uint16_t& number1, std::uint8_t& number2);

// INFO bytes of the location answer's hex part.
inline constexpr int kLocationInfoBytes = 31;

// Location-module answer of the requested pack: 31 INFO bytes as hex pairs,
// then two texts as plain characters (answer characters 75-94 and 95-124
// counted from "~"). Returns false and leaves record untouched when the
// pack echoes another number.
bool DecodeLocationData(const AnswerView& answer, std::uint8_t requestedPack, const QDateTime& now,
                        RLocationData& record);

// Short text of a limit state: "" normal, "L" below, "H" above, "-" no
// value, "??" anything else.
QString StatusMark(std::uint8_t state);

// ---- Text fields. Texts travel in fixed-length fields, in the code page of
// wire_text.h.

// The field as sent: cut to length bytes without splitting a character,
// padded with spaces.
QByteArray EncodeTextField(const QString& text, int length);
// A received field: the bytes up to the first zero byte, trimmed of spaces
// and control characters at both ends.
QString DecodeTextField(QByteArrayView field);
// The field of length bytes that starts at INFO firstInfo.
QString DecodeTextField(const AnswerView& answer, int firstInfo, int length);

// ---- Calibration values.
// Kinds 1 (mV) and 2 (mA) travel as whole numbers, kind 3 in 0.1 °C; the
// value is truncated and a negative one is sent one higher (-5 goes as -4).
// No value when the result does not fit 32 bits.
std::optional<std::uint32_t> EncodeCalibrationValue(std::uint8_t kind, Decimal value);
// A received value (signed 32-bit); kind 3 is divided by 10.
Decimal DecodeCalibrationValue(std::uint8_t kind, std::uint32_t wire);

// ---- Accumulated discharge: capacity in 0.1 Ah, energy in 0.01 kWh.
std::optional<std::uint32_t> EncodeTenthsTruncated(Decimal value);     // Ah -> 0.1 Ah
std::optional<std::uint32_t> EncodeHundredthsTruncated(Decimal value); // kWh -> 0.01 kWh
