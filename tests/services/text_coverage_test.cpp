#include "protocol/result_codes.h"
#include "services/text_table.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <set>

namespace {

// The id areas of the text service. A four-digit hexadecimal literal in the
// program's source that falls into one of them names a text.
struct IdArea {
    std::uint32_t first;
    std::uint32_t last;
};
constexpr IdArea kTextIdAreas[] = {
    {0x0101, 0x0103}, {0x0110, 0x0113}, {0x0201, 0x0205}, {0x3500, 0x352C}, {0x5000, 0x50E8},
    {0x6001, 0x6017}, {0x7001, 0x7041}, {0x7101, 0x711C}, {0x8001, 0x8013},
};

bool IsTextId(std::uint32_t value)
{
    for (const IdArea& area : kTextIdAreas) {
        if (value >= area.first && value <= area.last)
            return true;
    }
    return false;
}

// The project's root, as the build was configured with it (this file's own
// path may be relative, as a compiler cache can make it).
QString SourceRoot()
{
    return QStringLiteral(BMS_SOURCE_DIR);
}

struct IdUse {
    std::uint32_t id;
    QString where;
};

std::vector<IdUse> TextIdsInSource()
{
    static const QRegularExpression literal(QStringLiteral("\\b0x([0-9A-Fa-f]{4})\\b"));
    std::vector<IdUse> uses;
    for (const char* folder : {"src", "cli", "sim"}) {
        QDirIterator files(SourceRoot() + QLatin1Char('/') + QLatin1String(folder),
            {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                continue;
            int lineNumber = 0;
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine());
                ++lineNumber;
                for (auto match = literal.globalMatch(line); match.hasNext();) {
                    const std::uint32_t value = match.next().captured(1).toUInt(nullptr, 16);
                    if (IsTextId(value))
                        uses.push_back({value, QStringLiteral("%1:%2").arg(path).arg(lineNumber)});
                }
            }
        }
    }
    return uses;
}

const char* KindName(TextKind kind)
{
    switch (kind) {
    case TextKind::Ui: return "ui";
    case TextKind::Alarm: return "alarm";
    case TextKind::Error: return "error";
    case TextKind::Unit: return "unit";
    }
    return "";
}

TEST(TextCoverage, BuiltInTablesLoadWithoutErrors)
{
    EXPECT_TRUE(BuiltInTextErrors().isEmpty()) << qPrintable(BuiltInTextErrors().join(QLatin1Char('\n')));
    EXPECT_GT(BuiltInTexts(TextKind::Ui).size(), 250u);
}

TEST(TextCoverage, EveryRowHasFittingTextsInAllThreeLanguages)
{
    for (TextKind kind : {TextKind::Ui, TextKind::Alarm, TextKind::Error, TextKind::Unit}) {
        const TextTable& table = BuiltInTexts(kind);
        const int limit = kind == TextKind::Unit ? 10 : 200;
        for (std::uint32_t id : table.ids()) {
            for (std::uint8_t language = 0; language < TextTable::kLanguageCount; ++language) {
                const QByteArray text = table.text(id, language);
                EXPECT_FALSE(text.isEmpty()) << KindName(kind) << " 0x" << std::hex << id << " language "
                                             << int(language);
                EXPECT_LE(text.size(), limit) << KindName(kind) << " 0x" << std::hex << id;
            }
            // English texts end up in CSV cells.
            EXPECT_FALSE(table.text(id, 1).contains(',')) << KindName(kind) << " 0x" << std::hex << id;
        }
    }
}

TEST(TextCoverage, EveryTextIdInTheProgramHasARow)
{
    const std::vector<IdUse> uses = TextIdsInSource();
    // The header of named ids alone holds more than sixty.
    ASSERT_GT(uses.size(), 60u) << "source tree not found under " << qPrintable(SourceRoot());
    const TextTable& table = BuiltInTexts(TextKind::Ui);
    std::set<std::uint32_t> reported;
    for (const IdUse& use : uses) {
        if (!table.contains(use.id) && reported.insert(use.id).second)
            ADD_FAILURE() << "text 0x" << std::hex << use.id << " has no row (" << qPrintable(use.where) << ")";
    }
}

TEST(TextCoverage, EveryResultCodeOfTheHostHasAText)
{
    const TextTable& table = BuiltInTexts(TextKind::Error);
    for (std::uint8_t code : {ResultCode::kSuccess, ResultCode::kBadChecksum, ResultCode::kBadLengthChecksum,
             ResultCode::kBadFrame, ResultCode::kNoStartCharacter, ResultCode::kWrongAddress,
             ResultCode::kIncomplete, ResultCode::kTooShort, ResultCode::kNoAnswer, std::uint8_t(1),
             std::uint8_t(4)}) {
        EXPECT_TRUE(table.contains(code)) << "result code " << int(code);
    }
}

TEST(TextCoverage, EveryUnitOfTheCatalogueAndEveryAlarmCodeHasAText)
{
    for (std::uint8_t code : {2, 3, 4, 6, 7, 10, 13, 14, 15, 16})
        EXPECT_TRUE(BuiltInTexts(TextKind::Unit).contains(code)) << "unit " << int(code);
    // Codes 0 (no alarm) to 51 are contiguous: a gap would show as a blank
    // alarm message on the record page.
    for (std::uint32_t code = 0; code <= 51; ++code)
        EXPECT_TRUE(BuiltInTexts(TextKind::Alarm).contains(code)) << "alarm " << code;
}

} // namespace
