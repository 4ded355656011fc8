#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// How the kernel drives an RS485 transceiver's direction: some boards wire
// the driver-enable pin to RTS, and the serial driver must raise it while a
// request goes out. USB adapters and most hats switch in hardware and need
// none of it (Off leaves the port as the system set it up).
struct RRs485Mode {
    enum class Kind : std::uint8_t {
        Off,           // leave the port alone
        RtsOnSend,     // RTS high while sending, low afterwards
        RtsAfterSend,  // the other polarity: RTS low while sending
    };
    Kind kind = Kind::Off;
    int delayBeforeMs = 0;   // RTS set this long before the first character
    int delayAfterMs = 0;    // and kept this long after the last

    bool enabled() const { return kind != Kind::Off; }
    bool operator==(const RRs485Mode&) const = default;
};

// The longest delay the kernel accepts before or after sending.
inline constexpr int kMaxRs485DelayMs = 100;

// Reads "off", "rts-on-send" or "rts-after-send", each of the last two with
// optional delays in ms before and after sending: "rts-on-send:2:1". Case
// does not matter; an empty text is "off". Otherwise gives nothing and says
// why in error, listing the values that are known.
std::optional<RRs485Mode> ParseRs485Mode(QStringView text, QString* error = nullptr);
// The text that ParseRs485Mode reads back.
QString Rs485ModeText(const RRs485Mode& mode);

// Puts the open serial device fd into the mode (nothing to do for Off).
// False when the driver refuses, with a message (the caller puts the
// device's name in front) that says that adapters with automatic direction
// control need no setting.
bool ApplyRs485Mode(int fd, const RRs485Mode& mode, QString* error);
// Asks the driver to hand over received characters at once rather than
// after its latency timer; drivers that do not offer it are left alone.
void RequestLowLatency(int fd);
