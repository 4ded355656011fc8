// Writes the seed corpus of fuzz_answers: one valid answer per command, so
// the fuzzer starts from frames that pass the answer check.

#include "fuzz_input.h"
#include "protocol/frame.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

struct Seed {
    std::uint8_t command;  // index into the target's command list
    const char* name;
    QByteArray text;
};

QByteArray Answer(const QByteArray& infoHex)
{
    return frame::BuildFrame(1, 0, QByteArray::fromHex(infoHex));
}

// Another family's answer: its VER and CID1, pack 1.
QByteArray FamilyAnswer(std::uint8_t version, std::uint8_t cid1, const QByteArray& infoHex)
{
    return frame::BuildFrameText(1, cid1, 0, frame::HexPairs(QByteArray::fromHex(infoHex)), version);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_DIRECTORY\n", argv[0]);
        return 2;
    }
    // The location answer carries two plain-character texts after its hex part.
    const QByteArray locationText =
        frame::HexPairs(
            QByteArray::fromHex("01 0041 1F 1234 ABCD 06BAB7A0 FE47B4D0 0C 08 06BAB7A0 02189F00 003039 0168"))
        + QByteArray("860123456789012").leftJustified(20, '\0')
        + QByteArray("89860012345678901234").leftJustified(30, ' ');
    const Seed seeds[] = {
        {0, "analog",
         Answer("01 04 0CE4 0CE5 0CE3 0CE6 04 0041 0042 003F 0044 FF38 0514 2710 05 2710 000A 50 64 0005 2D")},
        {0, "analog-layout6",
         Answer(QByteArray("01 10") + QByteArray(64, '0') + "06" + QByteArray(24, '4')
                + "FFFF 1388 2710 06 2710 0001 64 64 FFFF 00 2D")},
        {1, "alarm", Answer("01 04 00000200 04 00000000 00 00 0000 00 41000000200300000000000000000000")},
        {2, "datetime", Answer("07E8 03 05 0E 07 09")},
        {3, "deviceinfo", Answer("424D532D31365301020305344D616B657220202020202020202020202020202020")},
        {4, "packquantity", Answer("01 04")},
        {5, "switches", Answer("01 0161")},
        {6, "capacity", Answer("01 1388 04D2 0001")},
        {7, "barcode", Answer("01 414243313233343536373839202020202020202020202020202020202020")},
        {8, "discharge", Answer("01 000186A0 00000D05")},
        {9, "calibration", Answer("01 03 01 000000FF FFFFFFF6")},
        {10, "product", Answer("01" + QByteArray(420, '4'))},
        {11, "location", frame::BuildFrameText(1, frame::kCid1, 0, locationText)},
        {12, "shield", Answer("01 00 0000FFFF")},
        {14, "parameters", Answer(QByteArray(332, '1'))},
        {15, "history",
         Answer("00 00 01 00 0514 FF38 50 2710 00 04 0041 0042 0043 0044 04 0CE4 0CE5 0CE3 0CE6 003F 0044 2D "
                "07E8 03 05 0E 07 09")},
        {0, "family-a", FamilyAnswer(0x20, 0x46, "00 01 02 0CE4 0CE5 03 0BA5 0B9B 0AAB FF9C 0CE9 2710 02 4E20 0005")},
        {0, "family-a-p4",
         FamilyAnswer(0x20, 0x46, "00 01 01 FFFF 02 0A0D 0A0D 8000 FFFF FFFF 04 FFFF 0001 0186A0 01D4C0")},
        {0, "family-b", FamilyAnswer(0x20, 0x46, "00 01 01 0CE4 06 0B9B 0BA5 0BAF 0BB9 0B91 0BC3 07D0 14B4 2710 0A "
                                                 "2710 0371 2AF8 0064 03E7 14B5 0000 0000 0000 0000")},
        {0, "family-c", FamilyAnswer(0x20, 0x4A, "00 01 02 0CE4 0CE5 02 0B9B 0BA5 0B91 0BC3 0000 0A5A 1388 2710 000C "
                                                 "0F 0032 0063 0CE5 0CE4 0001 0BA5 0B9B 000186A0 0000C350 0000C350 "
                                                 "00006590 00000064 000000C8 0014 0015")},
        {0, "family-d",
         FamilyAnswer(0x25, 0x46, "00 01 02 0CE4 0CE5 04 0B9A 0BA4 0BAE 0B90 FF38 1A0A 1388 03 2710 0007 2AF8")},
        {1, "family-a-alarm", FamilyAnswer(0x20, 0x46, "00 01 02 00 01 02 F0 02 02 00 01 11 22 33 81 40")},
        {1, "family-b-alarm",
         FamilyAnswer(0x20, 0x46, "00 01 01 02 06 00 00 00 00 01 02 F0 00 14" + QByteArray(40, '1'))},
        {1, "family-c-alarm", FamilyAnswer(0x20, 0x4A, "00 01 01 00 01 02 01 01 01 00 09" + QByteArray(24, '1'))},
        {1, "family-d-alarm", FamilyAnswer(0x25, 0x46, "00 01 01 00 04 00 00 00 02 01 00 F0 010203040506070809")},
        {0, "noisy",
         QByteArray("garbage~") + Answer("01 00 02 0000 0000 0000 0000 0000 05 0000 0000 00 00 0000 00")
             + "trailing"},
    };
    QDir dir;
    if (!dir.mkpath(QString::fromLocal8Bit(argv[1])))
        return 1;
    for (const Seed& seed : seeds) {
        QFile file(QDir(QString::fromLocal8Bit(argv[1])).filePath(QString::fromLatin1(seed.name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(MakeFuzzInput(seed.command, 1, seed.text)) < 0)
            return 1;
    }
    return 0;
}
