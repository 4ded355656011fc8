#pragma once

#include "protocol/answer_view.h"
#include "protocol/decimal.h"

#include <cstdint>
#include <optional>

// Small helpers the answer decoders share.

// A count of 10 m-units (10 mA, 10 mV, 10 mAh) as the whole unit: value / 100
// is exact in ten-thousandths.
inline Decimal Hundredths(std::int64_t value)
{
    return Decimal::fromRaw(value * (Decimal::kScale / 100));
}

// Reads the INFO part field after field. A pack may end its answer early
// (older firmware sends fewer trailing fields): a field that does not lie
// wholly inside the INFO part is absent and is never read, so neither the
// checksum digits nor the zeros after the answer are taken for values.
class InfoFields {
public:
    InfoFields(const AnswerView& answer, int first) : m_answer(answer), m_next(first) {}

    std::optional<std::uint8_t> byte()
    {
        const int at = take(1);
        return at < 0 ? std::nullopt : std::optional<std::uint8_t>(m_answer.info(at));
    }
    std::optional<std::uint16_t> word()
    {
        const int at = take(2);
        return at < 0 ? std::nullopt : std::optional<std::uint16_t>(m_answer.infoWord(at));
    }
    // Three and four bytes, most significant first.
    std::optional<std::uint32_t> triple()
    {
        const int at = take(3);
        if (at < 0)
            return std::nullopt;
        return (std::uint32_t(m_answer.info(at)) << 16) | m_answer.infoWord(at + 1);
    }
    std::optional<std::uint32_t> quad()
    {
        const int at = take(4);
        return at < 0 ? std::nullopt : std::optional<std::uint32_t>(m_answer.infoLong(at));
    }
    void skip(int bytes) { take(bytes); }
    // Whether every field taken so far lay wholly inside the INFO part.
    bool whole() const { return m_next <= m_answer.infoCount(); }

private:
    // The position of the next field of the given size, or -1 when it does
    // not lie wholly inside the INFO part. The position moves on either way.
    int take(int bytes)
    {
        const int at = m_next;
        m_next += bytes;
        return m_next <= m_answer.infoCount() ? at : -1;
    }

    const AnswerView& m_answer;
    int m_next;
};

// A present field into the record; an absent one leaves the record's blank
// value. True when the field was present.
template <typename Field, typename Value>
bool Take(Field& field, std::optional<Value> value)
{
    if (value)
        field = *value;
    return value.has_value();
}
template <typename Field, typename Value, typename Convert>
bool Take(Field& field, std::optional<Value> value, Convert convert)
{
    if (value)
        field = convert(*value);
    return value.has_value();
}
