#include "protocol/frame_stream.h"

#include "protocol/frame.h"
#include "protocol/pack_family.h"

#include <algorithm>

namespace {

int HexByteAt(QByteArrayView text, qsizetype index)
{
    return frame::HexValue(text[index]) * 16 + frame::HexValue(text[index + 1]);
}

} // namespace

FrameFault CheckCutFrame(RCutFrame& cut)
{
    const QByteArrayView text(cut.text);
    // "~" VER(2) ADR(2): the address can be read from the fifth character on.
    if (text.size() >= 3)
        cut.version = std::uint8_t(HexByteAt(text, 1));
    if (text.size() >= 5) {
        cut.address = std::uint8_t(HexByteAt(text, 3));
        cut.addressKnown = true;
    }
    if (text.size() >= 7)
        cut.cid1 = std::uint8_t(HexByteAt(text, 5));
    if (text.size() >= 9)
        cut.code = std::uint8_t(HexByteAt(text, 7));
    if (text.size() < frame::kMinimumLength)
        return FrameFault::TooShort;
    // Hex digits the packs read as 0 (lower case among them) make no CID1.
    const bool cid1Spelt = frame::HexDigit(cut.cid1 >> 4) == text[5] && frame::HexDigit(cut.cid1 & 0x0F) == text[6];
    const bool familyCid1 = std::any_of(kKnownFamilies.begin(), kKnownFamilies.end(),
                                        [&](PackFamily family) { return FamilyRow(family).cid1 == cut.cid1; });
    if (!cid1Spelt || !familyCid1)
        return FrameFault::BadCid1;
    const int lenid = frame::HexValue(text[10]) * 256 + frame::HexValue(text[11]) * 16 + frame::HexValue(text[12]);
    if (frame::HexValue(text[9]) != frame::LengthChecksum(lenid))
        return FrameFault::BadLengthChecksum;
    if (text.size() != frame::kMinimumLength + lenid)
        return FrameFault::LengthMismatch;
    const qsizetype sumAt = text.size() - 5;
    const int sent = HexByteAt(text, sumAt) * 256 + HexByteAt(text, sumAt + 2);
    if (sent != frame::TextChecksum(text.sliced(1, sumAt - 1)))
        return FrameFault::BadChecksum;
    // INFO as hex pairs; the location answer's plain characters after its
    // hex part decode to whatever they decode to, as the polling's codec
    // unpacks them.
    cut.info.clear();
    for (qsizetype i = 13; i + 1 < sumAt; i += 2)
        cut.info.append(char(HexByteAt(text, i)));
    return FrameFault::None;
}

std::vector<RCutFrame> FrameStream::Feed(QByteArrayView bytes, qint64 atMs)
{
    std::vector<RCutFrame> frames;
    m_fed += bytes.size();
    if (!bytes.isEmpty())
        m_lastByteMs = atMs;
    for (const char c : bytes) {
        if (c == frame::kStart) {
            // A start in the middle of a frame: the one before was cut off.
            if (!m_pending.isEmpty())
                Finish(frames, FrameFault::Interrupted, atMs);
            m_pending.append(c);
            continue;
        }
        if (m_pending.isEmpty()) {
            ++m_outside;
            continue;
        }
        m_pending.append(c);
        if (c == frame::kEnd)
            Finish(frames, FrameFault::None, atMs);
        else if (m_pending.size() >= kMaxFrameCharacters)
            Finish(frames, FrameFault::Overlong, atMs);
    }
    return frames;
}

void FrameStream::Finish(std::vector<RCutFrame>& frames, FrameFault cutFault, qint64 atMs)
{
    RCutFrame cut;
    cut.text = std::move(m_pending);
    m_pending.clear();
    cut.endMs = atMs;
    const FrameFault checked = CheckCutFrame(cut);
    cut.fault = cutFault != FrameFault::None ? cutFault : checked;
    frames.push_back(std::move(cut));
}

std::optional<RCutFrame> FrameStream::CutOffQuiet(qint64 atMs, qint64 quietForMs)
{
    if (m_pending.isEmpty() || atMs - m_lastByteMs < quietForMs)
        return std::nullopt;
    std::vector<RCutFrame> frames;
    Finish(frames, FrameFault::CutOff, m_lastByteMs);
    return std::move(frames.front());
}
