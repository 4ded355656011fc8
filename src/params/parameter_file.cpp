#include "params/parameter_file.h"

#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>

namespace {

constexpr char kSeparator = ',';
constexpr const char16_t* kNumberMask = u"0.000";

QString LineError(int lineNumber, const QString& what)
{
    return QStringLiteral("Line %1: %2").arg(lineNumber).arg(what);
}

QString EntryLine(const RParameterKind& entry, const RParameterFileTexts& texts)
{
    // Names has two languages; any other language writes the Chinese names.
    const QString& name = entry.Names[texts.language == 1 ? 1 : 0];
    const QString unit = texts.unitText ? texts.unitText(entry.UnitCode) : QString();
    const QStringList fields = {
        QStringLiteral("%1").arg(entry.Id, 3, 10, QLatin1Char('0')),
        entry.Value.format(kNumberMask),
        unit,
        entry.MinValue.format(kNumberMask),
        entry.MaxValue.format(kNumberMask),
        name,
    };
    return fields.join(QLatin1Char(kSeparator));
}

// Strips the line end (CR LF, or a bare LF from a file edited elsewhere).
QByteArray WithoutLineEnd(QByteArray line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

QStringList SplitText(const QString& text, QChar separator)
{
    return text.split(separator, Qt::KeepEmptyParts);
}

QByteArray FormatParameterFile(const RParameter& set, const RParameterFileTexts& texts)
{
    QString content = QStringList(texts.header.begin(), texts.header.end()).join(QLatin1Char(kSeparator));
    content += QStringLiteral("\r\n");
    for (const RParameterKind& entry : set.Entries) {
        if (entry.Used != 1)
            continue;
        content += EntryLine(entry, texts);
        content += QStringLiteral("\r\n");
    }
    // The system's code page, as every other text file of the tool; only the
    // ASCII id and value fields are ever read back.
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(content);
}

RParameterFileResult ExportParameterFile(const QString& path, const RParameter& set,
                                         const RParameterFileTexts& texts)
{
    RParameterFileResult result;
    if ((result.outOfRange = TParameterInfo::FirstOutOfRange(set)))
        return result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.errorText = file.errorString();
        return result;
    }
    file.write(FormatParameterFile(set, texts));
    if (!file.commit()) {
        result.errorText = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}

RParameterFileResult ImportParameterFile(const QString& path, RParameter& set)
{
    RParameterFileResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.errorText = file.errorString();
        return result;
    }
    // The header line is whatever the exporting language made it.
    if (!file.atEnd())
        file.readLine();
    int lineNumber = 1;
    while (!file.atEnd()) {
        ++lineNumber;
        const QByteArray line = WithoutLineEnd(file.readLine());
        const QStringList pieces = SplitText(QString::fromLatin1(line), QLatin1Char(kSeparator));
        if (pieces.size() < 2) {
            result.errorText = LineError(lineNumber, QStringLiteral("\"%1\" is not a parameter line")
                                                         .arg(QString::fromLocal8Bit(line)));
            return result;
        }
        bool isNumber = false;
        const int id = pieces[0].trimmed().toInt(&isNumber, 10);
        if (!isNumber) {
            result.errorText = LineError(lineNumber, QStringLiteral("\"%1\" is not a valid parameter id").arg(pieces[0]));
            return result;
        }
        // A set has positions 0 to 254; an id beyond them addresses nothing
        // and means the file is not what it claims to be.
        if (id < 0 || id >= kParameterPositions) {
            result.errorText = LineError(lineNumber, QStringLiteral("parameter id %1 is outside 0..%2")
                                                         .arg(id)
                                                         .arg(kParameterPositions - 1));
            return result;
        }
        const std::optional<Decimal> value = Decimal::parse(pieces[1]);
        if (!value) {
            result.errorText = LineError(lineNumber, QStringLiteral("\"%1\" is not a valid number").arg(pieces[1]));
            return result;
        }
        TParameterInfo::SetParameterValue(id, set, *value);
        ++result.linesApplied;
    }
    if (file.error() != QFileDevice::NoError) {
        result.errorText = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}
