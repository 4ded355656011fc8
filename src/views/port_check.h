#pragma once

#include <QString>

#include <cstdint>

class QWidget;
class TDevInfo;

// The port as a message names it: "COM3 (/dev/ttyUSB0)", or "COM3" alone
// when no device stands behind the number.
QString PortName(TDevInfo& store, std::uint8_t port);

// The check every page runs before it sends a command of its own. An open
// port passes. A port the user opened that has gone since (the adapter was
// pulled while the page was shown) is opened again as polling does; when
// that fails too the user is told plainly that the port went away. A port
// never opened gets "The serial port is not open!".
// While the port is open to listen only, nothing passes: the user is told
// that the action would send. The pages check through TPageCommand, which
// opens a lost port inside the command's job; this check opens it in place
// and is kept for the windows that run their own jobs.
bool PortReady(QWidget* parent, TDevInfo* store);

// The one guard of every action that sends: while the port is open to
// listen only, tells the user that nothing is sent and returns true.
bool RefusedWhileListening(QWidget* parent);
