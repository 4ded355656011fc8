#include "protocol/wire_text.h"

#include <QMutex>
#include <QMutexLocker>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

QMutex g_lock;
QString g_encoding;  // empty until set: the default

bool IsSystemName(const QString& name)
{
    return name.compare(QLatin1String(kSystemCodePage), Qt::CaseInsensitive) == 0;
}

// Converters are made per text: they are cheap next to an exchange on the
// wire, and a converter of its own keeps every thread apart.
QStringEncoder MakeEncoder(const QString& name)
{
    // Stateless: each character is encoded on its own, so the cut can fall
    // between any two of them.
    constexpr auto flags = QStringConverter::Flag::Stateless;
    if (IsSystemName(name))
        return QStringEncoder(QStringConverter::System, flags);
    return QStringEncoder(name.toLatin1().constData(), flags);
}

QStringDecoder MakeDecoder(const QString& name, QStringConverter::Flags flags = QStringConverter::Flag::Default)
{
    if (IsSystemName(name))
        return QStringDecoder(QStringConverter::System, flags);
    return QStringDecoder(name.toLatin1().constData(), flags);
}

// Both directions must exist, and ASCII must stay one byte each: fields
// are padded with spaces and end at a zero byte, which UTF-16 and the like
// would break.
bool CanConvert(const QString& name)
{
    if (name.isEmpty())
        return false;
    QStringEncoder encoder = MakeEncoder(name);
    return encoder.isValid() && MakeDecoder(name).isValid() && QByteArray(encoder.encode(u"A 0")) == "A 0";
}

} // namespace

QString DefaultWireEncoding()
{
#ifdef Q_OS_WIN
    return QString::fromLatin1(kSystemCodePage);
#else
    return QStringLiteral("GB18030");
#endif
}

bool SetWireEncoding(const QString& name)
{
    const QString wanted = name.trimmed();
    const bool known = wanted.isEmpty() || CanConvert(wanted);
    QMutexLocker locker(&g_lock);
    g_encoding = known && !wanted.isEmpty() ? wanted : QString();
    return known;
}

QString WireEncoding()
{
    QMutexLocker locker(&g_lock);
    return g_encoding.isEmpty() ? DefaultWireEncoding() : g_encoding;
}

QByteArray EncodeWireText(QStringView text, qsizetype maxBytes)
{
    const QString name = WireEncoding();
    QStringEncoder encoder = MakeEncoder(name);
    QStringDecoder check = MakeDecoder(name, QStringConverter::Flag::Stateless);
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype units =
            (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
        const QStringView character = text.mid(i, units);
        i += units;
        QByteArray encoded = encoder.encode(character);
        // A code page that lacks the character writes a substitute byte of
        // its own (or nothing); "?" says plainly that something is missing.
        if (encoded.isEmpty() || QString(check.decode(encoded)) != character)
            encoded = QByteArray("?");
        if (maxBytes >= 0 && bytes.size() + encoded.size() > maxBytes)
            break;
        bytes += encoded;
    }
    return bytes;
}

QString DecodeWireText(QByteArrayView bytes)
{
    QStringDecoder decoder = MakeDecoder(WireEncoding());
    return decoder.decode(bytes);
}
