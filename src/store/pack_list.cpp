#include "store/pack_list.h"

#include "protocol/records.h"

#include <QStringList>

#include <algorithm>
#include <bitset>

namespace {

std::optional<int> PackNumber(const QString& text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    if (!ok || number < 1 || number > kMaxPacks)
        return std::nullopt;
    return number;
}

QString Quoted(const QString& text)
{
    return QStringLiteral("\"%1\"").arg(text.left(60));
}

} // namespace

std::vector<std::uint8_t> AllPacks(int packCount)
{
    std::vector<std::uint8_t> packs;
    const int last = std::clamp(packCount, 1, kMaxPacks);
    for (int pack = 1; pack <= last; ++pack)
        packs.push_back(std::uint8_t(pack));
    return packs;
}

std::optional<RPackChoice> ParsePackChoice(const QString& text, int packCount, QString* error)
{
    if (text.trimmed().compare(QStringLiteral("auto"), Qt::CaseInsensitive) == 0)
        return RPackChoice{AllPacks(packCount), true};
    std::optional<std::vector<std::uint8_t>> packs = ParsePackList(text, packCount, error);
    if (!packs)
        return std::nullopt;
    return RPackChoice{std::move(*packs), false};
}

std::optional<std::vector<std::uint8_t>> ParsePackList(const QString& text, int packCount, QString* error)
{
    const auto fail = [error](const QString& why) -> std::optional<std::vector<std::uint8_t>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QStringLiteral("all"), Qt::CaseInsensitive) == 0)
        return AllPacks(packCount);
    if (trimmed.isEmpty())
        return fail(QStringLiteral("no packs given: write a list such as 1-16, 1,3,5 or all"));
    if (trimmed.compare(QStringLiteral("auto"), Qt::CaseInsensitive) == 0)
        return fail(QStringLiteral("\"auto\" is for polling only: write a list such as 1-16, 1,3,5 or all"));
    std::vector<std::uint8_t> packs;
    std::bitset<kMaxPacks + 1> seen;
    for (const QString& piece : trimmed.split(QLatin1Char(','))) {
        const qsizetype dash = piece.indexOf(QLatin1Char('-'));
        const std::optional<int> first = PackNumber(dash < 0 ? piece : piece.left(dash));
        const std::optional<int> last = dash < 0 ? first : PackNumber(piece.mid(dash + 1));
        if (!first || !last)
            return fail(QStringLiteral("%1 is no pack number or range of pack numbers in 1-%2")
                            .arg(Quoted(piece.trimmed()))
                            .arg(kMaxPacks));
        if (*last < *first)
            return fail(QStringLiteral("%1 runs backwards").arg(Quoted(piece.trimmed())));
        for (int pack = *first; pack <= *last; ++pack) {
            if (seen.test(std::size_t(pack)))
                return fail(QStringLiteral("pack %1 is named twice").arg(pack));
            seen.set(std::size_t(pack));
            packs.push_back(std::uint8_t(pack));
        }
    }
    return packs;
}

QString FormatPackList(const std::vector<std::uint8_t>& packs)
{
    QStringList pieces;
    for (std::size_t i = 0; i < packs.size();) {
        std::size_t j = i;
        while (j + 1 < packs.size() && packs[j + 1] == packs[j] + 1)
            ++j;
        pieces << (j > i + 1 ? QStringLiteral("%1-%2").arg(packs[i]).arg(packs[j]) : QString::number(packs[i]));
        if (j == i + 1)
            pieces << QString::number(packs[j]);
        i = j + 1;
    }
    return pieces.join(QStringLiteral(", "));
}
