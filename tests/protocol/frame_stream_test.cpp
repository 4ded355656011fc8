// The frame cutter over what a line carries in both directions.
#include "lib/sim_bus.h"
#include "protocol/frame.h"
#include "protocol/frame_stream.h"

#include <gtest/gtest.h>

namespace {

struct Cut {
    QByteArray text;
    FrameFault fault;
    friend bool operator==(const Cut&, const Cut&) = default;
};

std::vector<Cut> Cuts(const std::vector<RCutFrame>& frames)
{
    std::vector<Cut> cuts;
    for (const RCutFrame& f : frames)
        cuts.push_back({f.text, f.fault});
    return cuts;
}

// A master asking two packs for their analog data, each answering, with
// line noise before, between and after.
QByteArray BusTraffic(std::vector<Cut>& expected)
{
    SimBus bus;
    QByteArray line("\x00\xFFnoise", 7);
    for (std::uint8_t address : {1, 2}) {
        const QByteArray request = frame::BuildFrame(address, 0x42, QByteArray(1, char(address)));
        const QByteArray answer = bus.respond(request).text;
        line += request + "\r\n" + answer + "xx";
        expected.push_back({request, FrameFault::None});
        expected.push_back({answer, FrameFault::None});
    }
    return line;
}

} // namespace

TEST(FrameStream, SplitAtEveryPositionOrFedWholeGivesTheSameFrames)
{
    std::vector<Cut> expected;
    const QByteArray line = BusTraffic(expected);
    FrameStream whole;
    EXPECT_EQ(Cuts(whole.Feed(line, 0)), expected);
    EXPECT_EQ(whole.BytesOutsideFrames(), 7 + 2 * 4);
    for (qsizetype split = 1; split < line.size(); ++split) {
        FrameStream stream;
        std::vector<RCutFrame> frames = stream.Feed(QByteArrayView(line).first(split), 1);
        for (RCutFrame& f : stream.Feed(QByteArrayView(line).sliced(split), 2))
            frames.push_back(std::move(f));
        ASSERT_EQ(Cuts(frames), expected) << "split at " << split;
        EXPECT_EQ(stream.BytesOutsideFrames(), whole.BytesOutsideFrames());
    }
    // A byte at a time, as a slow adapter hands them over: each frame ends
    // at the time its carriage return came.
    FrameStream trickle;
    std::vector<RCutFrame> frames;
    for (qsizetype i = 0; i < line.size(); ++i)
        for (RCutFrame& f : trickle.Feed(QByteArrayView(line).sliced(i, 1), i))
            frames.push_back(std::move(f));
    ASSERT_EQ(Cuts(frames), expected);
    EXPECT_EQ(line[qsizetype(frames[1].endMs)], '\r');
    EXPECT_EQ(frames[1].address, 1);
    EXPECT_EQ(frames[0].code, 0x42);
    EXPECT_EQ(frames[0].info, QByteArray(1, '\x01'));
}

TEST(FrameStream, DamagedFramesComeOutWithTheirReason)
{
    const QByteArray good = frame::BuildFrame(1, 0x42, QByteArray(1, '\x01'));
    auto with = [&](qsizetype at, char c) {
        QByteArray text = good;
        text[at] = c;
        return text;
    };
    QByteArray shortened = good;
    shortened.remove(13, 1);
    const struct {
        const char* name;
        QByteArray text;
        std::vector<FrameFault> faults;
    } cases[] = {
        {"sound", good, {FrameFault::None}},
        {"checksum", with(good.size() - 2, good[good.size() - 2] == '0' ? '1' : '0'), {FrameFault::BadChecksum}},
        {"length check nibble", with(9, good[9] == '0' ? '1' : '0'), {FrameFault::BadLengthChecksum}},
        {"characters missing", shortened, {FrameFault::LengthMismatch}},
        {"another CID1", with(6, '7'), {FrameFault::BadCid1}},
        {"too short", "~2101\r", {FrameFault::TooShort}},
        {"cut off by the next start", "~210146" + good, {FrameFault::Interrupted, FrameFault::None}},
        {"no end", "~" + QByteArray(FrameStream::kMaxFrameCharacters, '0') + "\r", {FrameFault::Overlong}},
    };
    for (const auto& c : cases) {
        FrameStream stream;
        std::vector<FrameFault> faults;
        for (const RCutFrame& f : stream.Feed(c.text, 0))
            faults.push_back(f.fault);
        EXPECT_EQ(faults, c.faults) << c.name;
    }
}
