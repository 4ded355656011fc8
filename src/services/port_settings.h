#pragma once

#include "protocol/link.h"

#include <QString>

// The port map of BMS.ini: section [Ports] turns the port number the user
// picks (COM1 to COM16) into a device, on every system.
//
//     [Ports]
//     COM1=/dev/ttyUSB0
//     COM1.RS485=rts-on-send
//     COM3=tcp://192.0.2.10:4196
//
// The protocol layer opens what comes out of here and reads no file.

// What the port number n opens at the given baud rate: the key "COMn" of
// section [Ports] of the INI file when the key is there (read as BMS.ini is
// read: names match without regard to case, the first of two equal keys
// counts); otherwise "COMn" on Windows and elsewhere the n-th serial device
// present, USB and ACM adapters first. A key that names no device is an
// error, never a reason to take another device. The key "COMn.RS485" gives
// the port's RS485 mode (ParseRs485Mode); a value that is not known is an
// error too. An empty iniPath reads no map.
RPortDevice ResolvePortDevice(int portNumber, const QString& iniPath, qint32 baudRate = 9600);
// The same for the program's own BMS.ini and baud rate (Globals()).
RPortDevice ResolvePortDevice(int portNumber);
