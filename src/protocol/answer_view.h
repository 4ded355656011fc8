#pragma once

#include <QByteArrayView>

#include <cstdint>

// Read-only view of an unpacked answer: byte 0 SOI, 1 VER, 2 ADR, 3 CID1,
// 4 RTN, 5-6 LENGTH, INFO from byte 7. Reads beyond the answer see zeros,
// as the cleared answer buffer does; no read ever leaves the buffer.
class AnswerView {
public:
    static constexpr int kBufferSize = 500;

    AnswerView(const std::uint8_t* bytes, int count, QByteArrayView text = {})
        : m_bytes(bytes), m_count(count), m_text(text) {}

    int count() const { return m_count; }
    std::uint8_t byte(int index) const
    {
        return (index >= 0 && index < kBufferSize && index < m_count) ? m_bytes[index] : 0;
    }
    std::uint8_t rtn() const { return byte(4); }
    // INFO byte k is unpacked byte 7 + k.
    std::uint8_t info(int k) const { return byte(7 + k); }
    std::uint16_t infoWord(int k) const { return std::uint16_t((info(k) << 8) | info(k + 1)); }
    std::uint32_t infoLong(int k) const
    {
        return (std::uint32_t(info(k)) << 24) | (std::uint32_t(info(k + 1)) << 16)
            | (std::uint32_t(info(k + 2)) << 8) | info(k + 3);
    }
    // INFO bytes the frame carries (LENID / 2), as unpacked.
    int infoCount() const { return m_count > 10 ? m_count - 10 : 0; }
    // The validated answer text, starting at its "~".
    QByteArrayView text() const { return m_text; }

private:
    const std::uint8_t* m_bytes;
    int m_count;
    QByteArrayView m_text;
};
