#pragma once

#include "protocol/frame.h"
#include "protocol/pack_family.h"
#include "sim_live.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

// What a simulated pack speaks: our own protocol or one of the other
// makers' dialects. A4 is a family A pack above 65 Ah, whose live answer
// carries its capacities in three bytes (user-defined count 4).
enum class SimFamily : std::uint8_t { Ours, A, A4, B, C, D };

// "ours", "A", "A4", "B", "C", "D" in any case; nothing for anything else.
std::optional<SimFamily> ParseSimFamily(QStringView text);
QString SimFamilyName(SimFamily family);
// The protocol family a simulated pack belongs to (A4 is of family A).
PackFamily ProtocolFamily(SimFamily family);

// Parses "ADR:FAMILY" (ADR decimal, in the addresses the family's packs
// take); nothing, and the reason, for anything else.
struct SimFamilyPlace {
    std::uint8_t address = 0;
    SimFamily family = SimFamily::Ours;
};
std::optional<SimFamilyPlace> ParseSimFamilyPlace(QStringView text, QString* error = nullptr);

// A request in the family's own form (VER, CID1, and the address as INFO
// where the family's live reads carry it), as its makers' masters send it.
QByteArray SimFamilyRequest(SimFamily family, std::uint8_t address, std::uint8_t cid2);

// Return codes of the other makers' packs that the simulated ones use.
namespace SimFamilyRtn {
inline constexpr std::uint8_t kVersionError = 0x01;
inline constexpr std::uint8_t kUnknownCommand = 0x04;
inline constexpr std::uint8_t kFormatError = 0x05;
} // namespace SimFamilyRtn

// One simulated pack of another maker. It reads requests in its own VER and
// CID1 only, answers its reads with its own layouts (encoded here, from the
// makers' documents, independently of the host's decoders), and accepts the
// commands that write on such packs as a real one would. Not thread-safe;
// the bus serialises.
class SimFamilyPack {
public:
    struct Answer {
        std::uint8_t version = 0;
        std::uint8_t cid1 = 0;
        std::uint8_t rtn = 0;
        QByteArray infoText;   // INFO as hex pairs
    };

    SimFamilyPack(SimFamily family, std::uint8_t address, std::uint32_t seed);

    SimFamily family() const { return m_family; }
    // The answer to one request, or nothing when the pack stays silent (a
    // request of another CID1).
    std::optional<Answer> handle(const frame::ParsedFrame& request);

private:
    Answer success(const QByteArray& info) const;
    Answer resultOnly(std::uint8_t rtn) const;
    bool takesAsWrite(std::uint8_t cid2) const;

    Answer analogA();
    Answer analogB();
    Answer analogC();
    Answer analogD(std::uint8_t asked);
    Answer alarmA() const;
    Answer alarmB() const;
    Answer alarmC() const;
    Answer alarmD(std::uint8_t asked) const;
    Answer identity(std::uint8_t cid2) const;
    // Moves the live values one step and the lifetime totals with them.
    void step();

    SimFamily m_family;
    std::uint8_t m_address;
    std::uint8_t m_version;
    std::uint8_t m_cid1;
    SimRandom m_random;
    SimLiveState m_live;
    // Lifetime totals family C reports.
    std::int64_t m_chargedMas = 0;        // mA·s
    std::int64_t m_dischargedMas = 0;
    std::int64_t m_chargedMicroWs = 0;    // µW·s (mA × mV × s)
    std::int64_t m_dischargedMicroWs = 0;
    std::int64_t m_chargingSeconds = 0;
    std::int64_t m_dischargingSeconds = 0;
    int m_charges = 0;
    int m_discharges = 0;
    int m_lastMode = 0;
};
