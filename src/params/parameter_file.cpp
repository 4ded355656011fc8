#include "params/parameter_file.h"

#include "params/parameter_block.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>

namespace {

constexpr char kSeparator = ',';
constexpr const char16_t* kNumberMask = u"0.000";

// A file larger than this is not a parameter file (an exported one holds
// about 8 KB); the limit also keeps a read of an endless device finite.
constexpr qint64 kLargestFile = 1 << 20;

// At most this many characters of a bad line are quoted in a message.
constexpr qsizetype kQuotedCharacters = 60;

// The line as a message may show it: decoded leniently, control characters
// replaced, cut to a readable length.
QString Quoted(QByteArrayView line)
{
    QString text = QString::fromUtf8(line);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter)
            c = QLatin1Char('?');
    }
    if (text.size() > kQuotedCharacters)
        text = text.left(kQuotedCharacters) + QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString IdText(int id)
{
    return QStringLiteral("%1").arg(id, 3, 10, QLatin1Char('0'));
}

QString EntryLine(const RParameterKind& entry, const RParameterFileTexts& texts)
{
    // Names has two languages; any other language writes the Chinese names.
    const QString& name = entry.Names[texts.language == 1 ? 1 : 0];
    const QString unit = texts.unitText ? texts.unitText(entry.UnitCode) : QString();
    const QStringList fields = {
        IdText(entry.Id),
        entry.Value.format(kNumberMask),
        unit,
        entry.MinValue.format(kNumberMask),
        entry.MaxValue.format(kNumberMask),
        name,
    };
    return fields.join(QLatin1Char(kSeparator));
}

// The line that starts at pos, without its end, and where the next one
// starts. Lines end in CR LF as exported, in a bare LF from a file edited
// elsewhere, in a bare CR from an old editor, or in CR CR LF from a file
// converted twice: all count the same, so that no line is silently taken
// for part of another.
QByteArrayView LineAt(QByteArrayView text, qsizetype pos, qsizetype& next)
{
    qsizetype end = pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r')
        ++end;
    next = end;
    while (next < text.size() && text[next] == '\r')
        ++next;
    if (next < text.size() && text[next] == '\n')
        ++next;
    return text.sliced(pos, end - pos);
}

// Parameter lines start with their id; a header line starts with a column
// title, never with a number.
bool StartsWithNumber(QByteArrayView line)
{
    line = line.trimmed();
    if (line.startsWith('-') || line.startsWith('+'))
        line = line.sliced(1);
    return !line.isEmpty() && line.front() >= '0' && line.front() <= '9';
}

// One parameter line, checked; the error says what is wrong with it.
std::optional<RParameterFileLine> ParseLine(QByteArrayView line, int lineNumber, QString& error)
{
    const QStringList pieces = SplitText(QString::fromLatin1(line), QLatin1Char(kSeparator));
    if (pieces.size() != 2 && pieces.size() != 6) {
        error = QStringLiteral("%1 has %2 %3; a parameter line has 2 (id,value) or 6 (as exported). "
                               "Write decimals with a point: 3.601, not 3,601")
                    .arg(Quoted(line))
                    .arg(pieces.size())
                    .arg(pieces.size() == 1 ? QStringLiteral("field") : QStringLiteral("fields"));
        return std::nullopt;
    }
    bool isNumber = false;
    const int id = pieces[0].trimmed().toInt(&isNumber, 10);
    if (!isNumber) {
        error = QStringLiteral("%1 is not a parameter id").arg(Quoted(pieces[0].toLatin1()));
        return std::nullopt;
    }
    // A set has positions 0 to 254; an id beyond them addresses nothing
    // and means the file is not what it claims to be.
    if (id < 0 || id >= kParameterPositions) {
        error = QStringLiteral("parameter id %1 is outside 0..%2").arg(id).arg(kParameterPositions - 1);
        return std::nullopt;
    }
    const std::optional<Decimal> value = Decimal::parse(pieces[1]);
    if (!value) {
        error = QStringLiteral("%1 is not a number").arg(Quoted(pieces[1].toLatin1()));
        return std::nullopt;
    }
    // The minimum and maximum of an exported line are numbers; anything else
    // there means the fields have shifted.
    if (pieces.size() == 6) {
        for (int field : {3, 4}) {
            if (!pieces[field].trimmed().isEmpty() && !Decimal::parse(pieces[field])) {
                error = QStringLiteral("%1: the minimum and maximum fields hold %2 and %3, not numbers")
                            .arg(Quoted(line), Quoted(pieces[3].toLatin1()), Quoted(pieces[4].toLatin1()));
                return std::nullopt;
            }
        }
    }
    const auto position = std::uint8_t(id);
    if (IsSwitchBitParameter(position) && *value != Decimal::fromInt(0) && *value != Decimal::fromInt(1)) {
        error = QStringLiteral("parameter %1 is a switch and takes 0 or 1, not %2")
                    .arg(IdText(id), value->toString());
        return std::nullopt;
    }
    if (const RBlockField* field = FindBlockField(position); field && !FitsBlockField(*field, *value)) {
        const RBlockFieldRange range = BlockFieldRange(*field);
        error = QStringLiteral("parameter %1 = %2 does not fit its field, which holds %3..%4")
                    .arg(IdText(id), value->toString(), range.minimum.toString(), range.maximum.toString());
        return std::nullopt;
    }
    return RParameterFileLine{lineNumber, position, *value};
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

RParameterFileResult ReadParameterText(QByteArrayView text, RParameter& set)
{
    RParameterFileResult result;
    // A byte order mark from an editor is not part of the first line.
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    int lineNumber = 0;
    for (qsizetype pos = 0; pos < text.size();) {
        qsizetype next = pos;
        const QByteArrayView line = LineAt(text, pos, next);
        pos = next;
        ++lineNumber;
        // The header is whatever the exporting language made it.
        if (lineNumber == 1 && !StartsWithNumber(line))
            continue;
        QString error;
        const std::optional<RParameterFileLine> parsed = ParseLine(line, lineNumber, error);
        if (!parsed) {
            result.errorLine = lineNumber;
            result.errorText = QStringLiteral("Line %1: %2").arg(lineNumber).arg(error);
            return result;
        }
        TParameterInfo::SetParameterValue(parsed->id, set, parsed->value);
        result.applied.push_back(*parsed);
    }
    result.ok = true;
    return result;
}

RParameterFileResult ImportParameterFile(const QString& path, RParameter& set)
{
    RParameterFileResult result;
    QFile file(path);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.errorText = QStringLiteral("%1: %2").arg(shownPath, file.errorString());
        return result;
    }
    // Read to the end rather than by size or atEnd(): a pipe has no size,
    // and its writer may not have written anything yet.
    QByteArray text;
    for (;;) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty())
            break;
        text += chunk;
        if (text.size() > kLargestFile) {
            result.errorText = QStringLiteral("%1 is larger than %2 KB, so it is not a parameter file.")
                                   .arg(shownPath)
                                   .arg(kLargestFile / 1024);
            return result;
        }
    }
    if (file.error() != QFileDevice::NoError) {
        result.errorText = QStringLiteral("%1: %2").arg(shownPath, file.errorString());
        return result;
    }
    return ReadParameterText(text, set);
}

void ApplyParameterLines(const std::vector<RParameterFileLine>& lines, RParameter& set)
{
    for (const RParameterFileLine& line : lines)
        TParameterInfo::SetParameterValue(line.id, set, line.value);
}
