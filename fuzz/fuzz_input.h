#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

// One fuzz input: byte 0 picks the command, byte 1 the pack number (1..16,
// also the address), the rest is the text the pack "sent".
struct FuzzInput {
    std::uint8_t command = 0;
    std::uint8_t pack = 1;
    QByteArrayView text;
};

inline FuzzInput SplitFuzzInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input;
    if (size > 0)
        input.command = data[0];
    if (size > 1)
        input.pack = static_cast<std::uint8_t>(data[1] % 16 + 1);
    if (size > 2)
        input.text = QByteArrayView(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    return input;
}

inline QByteArray MakeFuzzInput(std::uint8_t command, std::uint8_t pack, const QByteArray& text)
{
    QByteArray input;
    input.append(static_cast<char>(command));
    input.append(static_cast<char>((pack - 1) % 16));
    return input + text;
}
