// bmstool on a rack that mixes makers: bms-sim with our pack at 1 and one
// pack of each other family at 2-6. scan names every family and poll reads
// every pack; every command that writes, calibrates, reads records or is
// one of our vendor commands is refused on the other makers' packs; and
// the simulator's own count of what reached each address shows that those
// packs heard nothing but their family's reads.

#include "tool_process.h"

#include "protocol/pack_family.h"

#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

struct ForeignPack {
    int address;
    const char* family;
};
// A at 2 and, above 65 Ah, at 3; B at 4, C at 5, D at 6.
constexpr ForeignPack kForeignPacks[] = {{2, "A"}, {3, "A"}, {4, "B"}, {5, "C"}, {6, "D"}};

class ToolFamilies : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_sim = std::make_unique<SimProcess>(Words({"--family", "2:A", "--family", "3:A4", "--family", "4:B", "--family",
                                                    "5:C", "--family", "6:D", "--requests"})
                                                 << requestsFile(),
                                             1);
        ASSERT_TRUE(m_sim->isReady()) << m_sim->error().toStdString();
    }

    QString requestsFile() const { return m_folder.filePath(QStringLiteral("requests.json")); }
    QString file(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    ToolRun run(const QStringList& arguments) const
    {
        return RunTool(QStringList{QStringLiteral("--port"), m_sim->linkPath(), QStringLiteral("--lang"),
                                   QStringLiteral("en")}
                       + arguments);
    }

    // Stops the simulator and reads what each address heard: address →
    // (CID2 → count).
    std::map<int, std::map<int, int>> requestsHeard()
    {
        m_sim->stop();
        QFile saved(requestsFile());
        EXPECT_TRUE(saved.open(QIODevice::ReadOnly)) << requestsFile().toStdString();
        const QJsonObject packs = QJsonDocument::fromJson(saved.readAll()).object();
        std::map<int, std::map<int, int>> heard;
        for (auto pack = packs.begin(); pack != packs.end(); ++pack) {
            const QJsonObject requests = pack.value().toObject().value(QStringLiteral("requests")).toObject();
            for (auto request = requests.begin(); request != requests.end(); ++request)
                heard[pack.key().toInt()][request.key().toInt(nullptr, 16)] = request.value().toInt();
        }
        return heard;
    }

    QTemporaryDir m_folder;
    std::unique_ptr<SimProcess> m_sim;
};

// The refusal a command to another maker's pack gets.
QString Refusal(const ForeignPack& pack)
{
    return QStringLiteral("Pack %1 is of family %2: only its live values are read").arg(pack.address).arg(pack.family);
}

TEST_F(ToolFamilies, ScanAndPollNameAndReadEveryFamily)
{
    const ToolRun scan = run(Words({"--json", "scan", "--to", "6", "--timeout", "250"}));
    ASSERT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    std::map<int, QString> found;
    for (const QJsonObject& line : scan.json())
        if (line[QLatin1String("type")].toString() == QLatin1String("scan"))
            found[line[QLatin1String("address")].toInt()] = line[QLatin1String("family")].toString();
    std::map<int, QString> expected{{1, QStringLiteral("ours")}};
    for (const ForeignPack& pack : kForeignPacks)
        expected[pack.address] = QLatin1String(pack.family);
    EXPECT_EQ(found, expected) << scan.out.toStdString();

    const ToolRun poll = run(Words({"--json", "poll", "--packs", "1-6", "--count", "1"}));
    ASSERT_EQ(poll.exitCode, 0) << poll.err.toStdString();
    std::map<int, QString> read;
    for (const QJsonObject& line : poll.json()) {
        if (line[QLatin1String("type")].toString() != QLatin1String("analog"))
            continue;
        const int pack = line[QLatin1String("pack")].toInt();
        read[pack] = line[QLatin1String("family")].toString();
        EXPECT_GE(line[QLatin1String("cells_mV")].toArray().size(), 15) << "pack " << pack;
        EXPECT_GT(line[QLatin1String("voltage_V")].toDouble(), 40.0) << "pack " << pack;
        EXPECT_TRUE(line[QLatin1String("full_Ah")].isDouble()) << "pack " << pack;
    }
    EXPECT_EQ(read, expected) << poll.out.toStdString();
}

TEST_F(ToolFamilies, OnlyReadsReachOtherMakersPacks)
{
    // A parameter file from our own pack, for the write.
    const ToolRun saved = run(Words({"params", "read", "--out"}) << file("pack1.prt"));
    ASSERT_EQ(saved.exitCode, 0) << saved.err.toStdString();

    // Everything but the live reads: writes, calibration, records, our
    // vendor reads and the reads our packs alone answer.
    const QStringList commands[] = {
        Words({"time"}), Words({"time", "set", "2024-05-01 08:00:00"}), Words({"time", "sync"}), Words({"barcode"}),
        Words({"barcode", "set", "PK-1"}), Words({"capacity"}), Words({"capacity", "set", "100000", "98000", "50000"}),
        Words({"cycles", "set", "12"}), Words({"packs"}), Words({"packs", "set", "4"}),
        Words({"record-time", "set", "00:00", "23:59", "60"}), Words({"delete", "work"}), Words({"delete", "alarm"}),
        Words({"calibration", "read", "1", "11"}), Words({"calibration", "write", "2", "21", "0", "-5"}),
        Words({"calibration", "reset", "1", "12"}), Words({"product"}),
        Words({"product", "set", "ACME", "2024-05-01", "M16", "V1.2", "LFP", "SN0001", "rack"}), Words({"location"}),
        Words({"switches", "0x01F8"}), Words({"shield"}), Words({"shield", "set", "3"}), Words({"discharge"}),
        Words({"discharge", "set", "1234.5", "61.72"}), Words({"sleep"}), Words({"params", "read"}),
        Words({"params", "write"}) << file("pack1.prt"), Words({"history", "work"}), Words({"history", "alarm"}),
    };
    for (const ForeignPack& pack : kForeignPacks) {
        const QStringList address{QStringLiteral("--address"), QString::number(pack.address)};
        // Unpinned, the family is first found by reads; the most harmful
        // command of the set (0xE2 sets protection values on D) must still
        // be refused.
        const ToolRun found = run(address + Words({"switches", "0x01F8"}));
        EXPECT_NE(found.exitCode, 0) << pack.address;
        EXPECT_TRUE(found.err.contains(Refusal(pack))) << pack.address << ": " << found.err.toStdString();

        // Pinned, as BMS.ini or --family names it: every command.
        const QStringList pinned = address
            + QStringList{QStringLiteral("--family"), QStringLiteral("%1:%2").arg(pack.address).arg(pack.family)};
        for (const QStringList& command : commands) {
            const ToolRun refused = run(pinned + command);
            const std::string what = QString::number(pack.address).toStdString() + " " + command.join(u' ').toStdString();
            EXPECT_NE(refused.exitCode, 0) << what;
            EXPECT_TRUE(refused.err.contains(Refusal(pack))) << what << ": " << refused.err.toStdString();
        }

        // Its live values and identity are read.
        const ToolRun analog = run(address + Words({"--json", "analog"}));
        EXPECT_EQ(analog.exitCode, 0) << pack.address << ": " << analog.err.toStdString();
        EXPECT_EQ(analog.first()[QLatin1String("family")].toString(), QLatin1String(pack.family));
        const ToolRun info = run(address + Words({"--json", "info"}));
        EXPECT_EQ(info.exitCode, 0) << pack.address << ": " << info.err.toStdString();
    }

    const std::map<int, std::map<int, int>> heard = requestsHeard();
    for (const ForeignPack& pack : kForeignPacks) {
        const PackFamily family = *ParseFamily(QString::fromLatin1(pack.family));
        ASSERT_TRUE(heard.count(pack.address)) << pack.address;
        EXPECT_GT(heard.at(pack.address).count(0x42), 0u) << pack.address;
        // Before its family is known a pack may hear what reads on every
        // family; after that, only its own family's reads.
        for (const auto& [cid2, count] : heard.at(pack.address))
            EXPECT_TRUE(FamilyReads(family, std::uint8_t(cid2)) || FamilyReads(PackFamily::Unknown, std::uint8_t(cid2)))
                << "pack " << pack.address << " (" << pack.family << ") heard CID2 " << std::hex << cid2 << " "
                << std::dec << count << " times";
    }
}

} // namespace
