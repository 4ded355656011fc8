#pragma once

#include "protocol/link.h"

#include <chrono>
#include <cstdint>
#include <functional>

class TDevInfo;

// The rest between closing a port and opening it again. Returns true to go
// on, false to give up (the port then stays closed).
using PortPause = std::function<bool()>;
// How long a port rests closed before it opens again: an adapter that was
// just closed needs a moment before it opens cleanly.
inline constexpr std::chrono::milliseconds kPortReopenPause{1000};

// The port open sequence: closes the link, rests, then opens the device the
// port number stands for as the settings layer found it (ResolvePortDevice).
// True when the link is open; LastOpenError of the store's link says why
// not. Called on the thread that owns the exchanges at that moment.
bool OpenPort(TDevInfo& store, std::uint8_t portNumber, const RPortDevice& device, const PortPause& pause);
// The same sequence for what was opened last, the same device under the same
// port number: the polling thread's reconnect, and a page that finds its
// port gone.
bool ReopenPort(TDevInfo& store, const PortPause& pause);
// As above with a rest of kPortReopenPause, slept on the calling thread in
// short steps (given up when that thread is asked to stop). It runs no event
// loop: on the user-interface thread the window waits for it.
bool ReopenPort(TDevInfo& store);
