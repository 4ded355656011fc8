#include "protocol/frame.h"

namespace frame {

int HexValue(char c)
{
    if (c >= '1' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

char HexDigit(int value)
{
    return "0123456789ABCDEF"[value & 0x0F];
}

int LengthChecksum(int lenid)
{
    const int sum = ((lenid >> 8) & 0x0F) + ((lenid >> 4) & 0x0F) + (lenid & 0x0F);
    return (16 - (sum % 16)) % 16;
}

std::uint16_t LengthField(int lenid)
{
    return static_cast<std::uint16_t>((LengthChecksum(lenid) << 12) | (lenid & 0x0FFF));
}

std::uint16_t TextChecksum(QByteArrayView text)
{
    std::uint32_t sum = 0;
    for (char c : text)
        sum += static_cast<std::uint8_t>(c);
    return static_cast<std::uint16_t>((0x10000 - (sum % 0x10000)) % 0x10000);
}

QByteArray HexPairs(QByteArrayView bytes)
{
    QByteArray text;
    text.reserve(bytes.size() * 2);
    for (char b : bytes) {
        const auto value = static_cast<std::uint8_t>(b);
        text.append(HexDigit(value >> 4));
        text.append(HexDigit(value));
    }
    return text;
}

QByteArray BuildFrameText(std::uint8_t address, std::uint8_t cid1, std::uint8_t cid2OrRtn,
                          QByteArrayView infoText, std::uint8_t version)
{
    const std::uint16_t length = LengthField(static_cast<int>(infoText.size()));
    const char header[] = {static_cast<char>(version), static_cast<char>(address), static_cast<char>(cid1),
                           static_cast<char>(cid2OrRtn), static_cast<char>(length >> 8),
                           static_cast<char>(length & 0xFF)};
    QByteArray body = HexPairs(QByteArrayView(header, sizeof header));
    body.append(infoText.data(), infoText.size());
    const std::uint16_t checksum = TextChecksum(body);
    QByteArray text;
    text.reserve(body.size() + 6);
    text.append(kStart);
    text.append(body);
    const char sum[] = {static_cast<char>(checksum >> 8), static_cast<char>(checksum & 0xFF)};
    text.append(HexPairs(QByteArrayView(sum, 2)));
    text.append(kEnd);
    return text;
}

namespace {

int HexByteAt(QByteArrayView text, qsizetype index)
{
    return HexValue(text[index]) * 16 + HexValue(text[index + 1]);
}

int LenidAt(QByteArrayView text, qsizetype start)
{
    return HexValue(text[start + 10]) * 256 + HexValue(text[start + 11]) * 16 + HexValue(text[start + 12]);
}

} // namespace

qsizetype CompleteFrameEnd(QByteArrayView text)
{
    for (qsizetype start = text.indexOf(kStart); start >= 0; start = text.indexOf(kStart, start + 1)) {
        if (text.size() - start < 13)
            return -1;
        const qsizetype end = start + kMinimumLength + LenidAt(text, start);
        if (end <= text.size() && text[end - 1] == kEnd)
            return end;
    }
    return -1;
}

bool ParseFrame(QByteArrayView text, ParsedFrame& out)
{
    for (qsizetype start = text.indexOf(kStart); start >= 0; start = text.indexOf(kStart, start + 1)) {
        if (text.size() - start < kMinimumLength)
            return false;
        const int lenid = LenidAt(text, start);
        if (HexValue(text[start + 9]) != LengthChecksum(lenid))
            continue;
        const qsizetype end = start + kMinimumLength + lenid;
        if (end > text.size() || text[end - 1] != kEnd)
            continue;
        const QByteArrayView body = text.sliced(start + 1, 12 + lenid);
        const int sent = (HexByteAt(text, end - 5) << 8) | HexByteAt(text, end - 3);
        if (sent != TextChecksum(body))
            continue;
        out.version = static_cast<std::uint8_t>(HexByteAt(text, start + 1));
        out.address = static_cast<std::uint8_t>(HexByteAt(text, start + 3));
        out.cid1 = static_cast<std::uint8_t>(HexByteAt(text, start + 5));
        out.cid2 = static_cast<std::uint8_t>(HexByteAt(text, start + 7));
        out.lenid = lenid;
        out.infoText = text.sliced(start + 13, lenid).toByteArray();
        out.info.clear();
        for (qsizetype i = 0; i + 1 < lenid; i += 2)
            out.info.append(static_cast<char>(HexByteAt(out.infoText, i)));
        return true;
    }
    return false;
}

} // namespace frame
