#pragma once

#include "protocol/frame.h"
#include "sim_pack.h"

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstdint>

// Helpers the pack's answer handlers share: reading request INFO with
// bounds, and writing answer INFO big-endian.
namespace siminfo {

// INFO bytes of an answer, written big-endian as the packs send them.
class InfoWriter {
public:
    InfoWriter& byte(int value)
    {
        m_bytes.append(char(value & 0xFF));
        return *this;
    }
    InfoWriter& word(int value) { return byte(value >> 8).byte(value); }
    InfoWriter& longWord(std::uint32_t value)
    {
        return word(int(value >> 16)).word(int(value & 0xFFFF));
    }
    // A fixed-length text field: cut or padded with the given filler.
    InfoWriter& text(QByteArrayView value, int length, char filler = ' ')
    {
        QByteArray field = value.first(std::min<qsizetype>(value.size(), length)).toByteArray();
        field.append(QByteArray(length - field.size(), filler));
        m_bytes.append(field);
        return *this;
    }
    InfoWriter& bytes(QByteArrayView value)
    {
        m_bytes.append(value.data(), value.size());
        return *this;
    }
    SimPack::Answer answer() const { return {SimRtn::kSuccess, frame::HexPairs(m_bytes)}; }
    const QByteArray& raw() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

inline int Byte(const QByteArray& info, qsizetype k)
{
    return k < info.size() ? std::uint8_t(info[k]) : 0;
}

inline int Word(const QByteArray& info, qsizetype k)
{
    return (Byte(info, k) << 8) | Byte(info, k + 1);
}

inline std::uint32_t LongWord(const QByteArray& info, qsizetype k)
{
    return (std::uint32_t(Word(info, k)) << 16) | std::uint32_t(Word(info, k + 2));
}

inline SimPack::Answer ResultOnly(std::uint8_t rtn = SimRtn::kSuccess)
{
    return {rtn, QByteArray()};
}

} // namespace siminfo
