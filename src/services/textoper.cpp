#include "services/textoper.h"

#include "services/text_table.h"

#include <atomic>

namespace {

// The language is process-wide: every TTextOper answers in it. Pages read
// it on the user-interface thread and the store on the polling thread
// while the user may switch it, hence an atomic byte.
std::atomic<std::uint8_t> g_language{TTextOper::SimplifiedChinese};

// The buffers the program reserves for a text.
constexpr std::size_t kTextBufferSize = 200;
constexpr std::size_t kUnitBufferSize = 10;

QString Lookup(TextKind kind, std::uint32_t id, std::size_t bufferSize)
{
    const QByteArray text = BuiltInTexts(kind).text(id, g_language.load(std::memory_order_relaxed));
    return TextFromBuffer(text, bufferSize);
}

} // namespace

void TTextOper::SetLanguage(std::uint8_t language)
{
    if (language <= TraditionalChinese)
        g_language.store(language, std::memory_order_relaxed);
}

std::uint8_t TTextOper::CurrentLanguage()
{
    return g_language.load(std::memory_order_relaxed);
}

QString TTextOper::GetLanguageText(std::uint16_t id) const
{
    return Lookup(TextKind::Ui, id, kTextBufferSize);
}

QString TTextOper::GetLanguageText(std::uint16_t id, const QString& defaultText) const
{
    Q_UNUSED(defaultText);
    return GetLanguageText(id);
}

QString TTextOper::GetAlarmText(std::uint8_t code) const
{
    return Lookup(TextKind::Alarm, code, kTextBufferSize);
}

QString TTextOper::GetErrorText(std::uint8_t code) const
{
    return QString::number(code) + QStringLiteral("--") + Lookup(TextKind::Error, code, kTextBufferSize);
}

QString TTextOper::GetUnitText(std::uint8_t code) const
{
    return Lookup(TextKind::Unit, code, kUnitBufferSize);
}
