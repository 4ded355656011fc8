// libFuzzer target: whatever a bus carries, in whatever pieces the line
// hands it over, must be cut, paired, decoded and counted without leaving
// the listener's buffers.
//
// Input layout: byte 0 seeds the sizes of the pieces (1 to 64 bytes each)
// and the gaps between them (0 to 1000 ms), the rest is the line.

#include "services/settings.h"
#include "store/bus_listener.h"
#include "store/devinfo.h"
#include "store/pack_poller.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TDevInfo* store = [] {
        auto* made = new TDevInfo;
        made->InitStore();
        return made;
    }();
    if (size == 0)
        return 0;
    AppGlobals globals;
    SilentPollView view;
    BusListener listener(*store, globals, view, {});
    std::uint32_t state = data[0] * 2654435761u + 1;
    const auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    const char* line = reinterpret_cast<const char*>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    qint64 atMs = 0;
    for (qsizetype at = 0; at < length;) {
        const qsizetype piece = std::min<qsizetype>(length - at, qsizetype(next() % 64 + 1));
        listener.Feed(QByteArrayView(line + at, piece), atMs);
        at += piece;
        atMs += qint64(next() % 1001);
    }
    listener.Advance(atMs + 100000);
    const RBusSummary summary = listener.Summary();
    if (summary.bytesHeard != length)
        __builtin_trap();
    return 0;
}
