#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// What is wrong with a frame heard on the line. The reasons follow the
// order the checks run in: the first one met is the one given.
enum class FrameFault : std::uint8_t {
    None,
    TooShort,            // fewer characters than the smallest frame
    Overlong,            // no carriage return within the longest frame a pack sends
    Interrupted,         // a new "~" came before the carriage return
    BadCid1,             // CID1 is none of the families' (0x46, 0x4A): not a frame of this protocol
    BadLengthChecksum,   // the check nibble of LENGTH does not fit LENID
    LengthMismatch,      // LENID announces another number of characters than came
    BadChecksum,         // CHKSUM does not fit the characters
    CutOff,              // the line went quiet before the carriage return came
};
inline constexpr int kFrameFaultCount = 9;

// One frame cut from the line: "~" up to the carriage return, as it came.
struct RCutFrame {
    QByteArray text;
    FrameFault fault = FrameFault::None;
    qint64 endMs = 0;   // when the last character arrived, on the caller's clock
    // Fields read from a sound frame (and from a damaged one as far as its
    // characters allow: address and code may be wrong there).
    std::uint8_t version = 0;  // VER: ours 0x21; other makers' packs speak others
    std::uint8_t address = 0;
    std::uint8_t cid1 = 0;
    std::uint8_t code = 0;     // CID2 of a request, RTN of an answer
    QByteArray info;           // INFO bytes of a sound frame, from its hex pairs
    bool addressKnown = false; // the address characters were there

    bool Sound() const { return fault == FrameFault::None; }
};

// The checks of a whole frame ("~" to carriage return, both included): the
// first fault met, None for a sound frame. Fills address, code and info.
FrameFault CheckCutFrame(RCutFrame& frame);

// Cuts frames out of the bytes of a line, as they arrive in pieces of any
// size: a frame may be split across reads, a read may hold several frames,
// and anything outside "~" ... carriage return is skipped and counted.
// Not thread-safe: one reader feeds it.
class FrameStream {
public:
    // The longest frame any pack sends (the product information answer) with
    // room to spare: a "~" without a carriage return within this many
    // characters is no frame.
    static constexpr qsizetype kMaxFrameCharacters = 1100;

    // Takes the bytes that arrived at atMs and returns the frames they
    // complete, in order, each checked.
    std::vector<RCutFrame> Feed(QByteArrayView bytes, qint64 atMs);

    // Bytes skipped because they lay outside any frame.
    qint64 BytesOutsideFrames() const { return m_outside; }
    qint64 BytesFed() const { return m_fed; }
    // A frame has begun and not yet ended.
    bool InFrame() const { return !m_pending.isEmpty(); }
    // A frame begun whose last character came quietFor or longer before
    // atMs: the line went quiet in the middle of it (half an answer, then
    // silence). It is cut off as a frame of its own (CutOff), ending when
    // its last character came. Nothing while no frame is under way or the
    // line is not quiet for long enough.
    std::optional<RCutFrame> CutOffQuiet(qint64 atMs, qint64 quietForMs);
    // Forgets a frame begun (the line went away in the middle of it).
    void DropPartial() { m_pending.clear(); }

private:
    void Finish(std::vector<RCutFrame>& frames, FrameFault cutFault, qint64 atMs);

    QByteArray m_pending;   // from a "~", while its carriage return has not come
    qint64 m_lastByteMs = 0;
    qint64 m_outside = 0;
    qint64 m_fed = 0;
};
