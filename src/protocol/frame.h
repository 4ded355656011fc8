#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// Pure helpers of the frame format shared by the host side (TDevOper), the
// simulated packs and the tests. A frame is "~", the bytes VER ADR CID1
// CID2/RTN LENGTH(2) INFO CHKSUM(2) as upper-case hex pairs, and a carriage
// return.
namespace frame {

inline constexpr char kStart = '~';
inline constexpr char kEnd = '\r';
inline constexpr std::uint8_t kVersion = 0x21;
inline constexpr std::uint8_t kCid1 = 0x46;
inline constexpr int kMinimumLength = 18;

// Value of one hex digit as the packs read it: "1"-"9" and "A"-"F" give 1 to
// 15, anything else (lower case included) gives 0.
int HexValue(char c);
char HexDigit(int value);
// LENGTH of a LENID: the check nibble in the top four bits, LENID below.
std::uint16_t LengthField(int lenid);
int LengthChecksum(int lenid);
// Two's complement modulo 65536 of the sum of the character codes.
std::uint16_t TextChecksum(QByteArrayView text);
// The bytes as upper-case hex pairs.
QByteArray HexPairs(QByteArrayView bytes);

// A whole frame as text. infoText is INFO as it travels (normally hex pairs;
// the location answer appends plain characters); LENID is its length.
QByteArray BuildFrameText(std::uint8_t address, std::uint8_t cid1, std::uint8_t cid2OrRtn,
                          QByteArrayView infoText, std::uint8_t version = kVersion);
inline QByteArray BuildFrame(std::uint8_t address, std::uint8_t cid2OrRtn, QByteArrayView infoBytes)
{
    return BuildFrameText(address, kCid1, cid2OrRtn, HexPairs(infoBytes));
}

// Index one past the end of the first complete frame in text: a "~" whose
// LENGTH announces a carriage return that is there. -1 when none is complete
// yet. The serial read stops as soon as this finds a frame.
qsizetype CompleteFrameEnd(QByteArrayView text);

// A request as the simulated pack sees it, parsed from one complete frame.
struct ParsedFrame {
    std::uint8_t version = 0;
    std::uint8_t address = 0;
    std::uint8_t cid1 = 0;
    std::uint8_t cid2 = 0;
    int lenid = 0;
    QByteArray info;       // INFO bytes, decoded from the hex pairs
    QByteArray infoText;   // INFO as it travelled
};
// Parses the first well-formed frame in text (length check, end character
// and CHKSUM all correct). Returns false when there is none.
bool ParseFrame(QByteArrayView text, ParsedFrame& out);

} // namespace frame
