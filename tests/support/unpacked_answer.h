#pragma once

#include "protocol/answer_view.h"
#include "protocol/frame.h"

#include <QByteArray>

#include <array>
#include <cstdint>

// An answer's text unpacked as the host's link unpacks it ("~", then VER,
// ADR, CID1, RTN, LENGTH and INFO as bytes), for the protocol's decoders.
struct Unpacked {
    explicit Unpacked(const QByteArray& text)
    {
        bytes[0] = std::uint8_t(text[0]);
        for (qsizetype i = 1; 2 * i < text.size() - 1 && i < AnswerView::kBufferSize; ++i)
            bytes[std::size_t(i)] = std::uint8_t(frame::HexValue(text[2 * i - 1]) * 16 + frame::HexValue(text[2 * i]));
        count = int((text.size() - 2) / 2 + 2);
    }
    AnswerView view() const { return AnswerView(bytes.data(), count); }
    std::array<std::uint8_t, AnswerView::kBufferSize> bytes{};
    int count = 0;
};
