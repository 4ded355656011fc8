#include "services/input_text.h"

#include "services/text_ids.h"
#include "services/textoper.h"

#include <QStringList>

namespace {

constexpr qsizetype kMaxQuotedCharacters = 60;

// A character as a message shows it: itself when printable, else an escape.
// Bytes that were not UTF-8 arrive as U+FFFD and are shown as its escape.
QString Shown(char32_t character)
{
    if (character != 0xFFFD && QChar::isPrint(character))
        return QString::fromUcs4(&character, 1);
    if (character < 0x100)
        return QStringLiteral("\\x%1").arg(std::uint32_t(character), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u{%1}").arg(std::uint32_t(character), 4, 16, QLatin1Char('0'));
}

} // namespace

QString QuotedInput(const QString& text)
{
    QStringList pieces;
    qsizetype length = 0;
    for (const char32_t character : text.toUcs4()) {
        pieces << Shown(character);
        length += pieces.last().size();
    }
    QString shown;
    if (length <= kMaxQuotedCharacters) {
        shown = pieces.join(QString());
    } else {
        for (const QString& piece : pieces) {
            if (shown.size() + piece.size() > kMaxQuotedCharacters - 3)
                break;
            shown += piece;
        }
        shown += QStringLiteral("...");
    }
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QString PrintableText(const QString& text)
{
    QString shown;
    for (const char32_t character : text.toUcs4())
        shown += character == U'\n' ? QStringLiteral("\n") : Shown(character);
    return shown;
}

bool IsPlainText(const QString& text)
{
    // Bytes that were not UTF-8 reach the program as U+FFFD.
    for (const char32_t character : text.toUcs4())
        if (character == 0xFFFD || !QChar::isPrint(character))
            return false;
    return true;
}

QString RefusedPackText(const QString& fieldName, const QString& text)
{
    if (IsPlainText(text))
        return {};
    return TTextOper().GetLanguageText(TextId::kNotPlainText).arg(fieldName, QuotedInput(text));
}
