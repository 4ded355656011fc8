// "params read" and "params write": the parameter set of one pack, shown as
// a table or JSON, saved to and written from parameter files.
#include "commands.h"

#include "params/parameter_commands.h"
#include "params/parameter_file.h"
#include "services/settings.h"
#include "store/bus_jobs.h"
#include "store/bus_texts.h"
#include "store/devinfo.h"

#include <QFileInfo>

namespace {

QString EntryValueText(const RParameterKind& entry)
{
    if (entry.Kind == TParameterInfo::KindSwitch)
        return entry.Value.toString();
    return TParameterInfo::FormatParameterValue(entry.Kind, entry.Decimals, entry.Value);
}

void PrintParameterSet(const Session& session, const RParameter& set)
{
    const TTextOper& texts = session.store().TextOper();
    const std::uint8_t language = TTextOper::CurrentLanguage() == TTextOper::English ? 1 : 0;
    if (session.out().json()) {
        QStringList entries;
        for (const RParameterKind& entry : set.Entries) {
            if (entry.Used != 1)
                continue;
            // Values exactly as held, whatever the decimals the page shows.
            QString object = QStringLiteral("{\"id\":%1,\"name\":%2,\"value\":%3,\"unit\":%4")
                                 .arg(entry.Id)
                                 .arg(JsonString(TParameterInfo::GetParameterName(entry.Id, language, set)),
                                      entry.Value.toString(), JsonString(texts.GetUnitText(entry.UnitCode)));
            if (entry.ShowRange != 0)
                object += QStringLiteral(",\"min\":%1,\"max\":%2").arg(entry.MinValue.toString(), entry.MaxValue.toString());
            entries << object + QLatin1Char('}');
        }
        session.out().print(OutputRecord(QStringLiteral("parameters"))
                                .number(QStringLiteral("pack"), set.PackNumber)
                                .raw(QStringLiteral("parameters"),
                                     QLatin1Char('[') + entries.join(QLatin1Char(',')) + QLatin1Char(']'), {}));
        return;
    }
    QString table;
    for (const RParameterKind& entry : set.Entries) {
        if (entry.Used != 1)
            continue;
        QString line = QStringLiteral("%1  %2  %3 %4")
                           .arg(entry.Id, 3, 10, QLatin1Char('0'))
                           .arg(TParameterInfo::GetParameterName(entry.Id, language, set).leftJustified(36),
                                EntryValueText(entry).rightJustified(10), texts.GetUnitText(entry.UnitCode));
        if (entry.ShowRange != 0)
            line += QStringLiteral("  [%1..%2]").arg(entry.MinValue.toString(), entry.MaxValue.toString());
        table += line.trimmed() + QLatin1Char('\n');
    }
    session.out().printText(table);
}

QString OutOfRangeText(const RParameterKind& entry)
{
    const std::uint8_t language = TTextOper::CurrentLanguage() == TTextOper::English ? 1 : 0;
    return QStringLiteral("%1 (id %2) = %3 is outside %4..%5")
        .arg(entry.Names[language].isEmpty() ? entry.Names[0] : entry.Names[language])
        .arg(entry.Id)
        .arg(entry.Value.toString(), entry.MinValue.toString(), entry.MaxValue.toString());
}

RParameterFileTexts FileTexts(const TTextOper& texts)
{
    RParameterFileTexts fileTexts;
    for (std::size_t i = 0; i < fileTexts.header.size(); ++i)
        fileTexts.header[i] = texts.GetLanguageText(kParameterFileHeaderTextIds[i]);
    fileTexts.language = TTextOper::CurrentLanguage() == TTextOper::English ? 1 : 0;
    fileTexts.unitText = [&texts](std::uint8_t unit) { return texts.GetUnitText(unit); };
    return fileTexts;
}

// Reads the pack's set; 0 on success.
std::uint8_t ReadPackSet(Session& session, RParameter& set)
{
    set = session.store().ParameterInfo().NewParameterSet(session.pack());
    const std::uint8_t result = session.store().ReadParameters(session.address(), session.pack(), set);
    if (result == 0)
        session.store().StoreParameters(set);
    return result;
}

int RunRead(Session& session, const QString& outFile)
{
    RParameter set;
    const std::uint8_t result = ReadPackSet(session, set);
    if (result != 0)
        return session.failed(result);
    PrintParameterSet(session, set);
    if (outFile.isEmpty())
        return 0;
    const RParameterFileResult saved = ExportParameterFile(outFile, set, FileTexts(session.store().TextOper()));
    if (saved.outOfRange)
        return session.failed(QStringLiteral("not saved: the pack holds %1").arg(OutOfRangeText(*saved.outOfRange)));
    if (!saved.ok)
        return session.failed(QStringLiteral("%1: %2").arg(outFile, saved.errorText));
    return 0;
}

int RunWrite(Session& session, const std::vector<RParameterFileLine>& lines, bool restoreDefaults)
{
    // What the file does not carry keeps the pack's values: start from the
    // block as the pack holds it now, the uncatalogued fields included, so
    // every id the file names (and only those) changes.
    RParameter merged;
    std::uint8_t result = ReadPackSet(session, merged);
    if (result != 0)
        return session.failed(result);
    ApplyParameterLines(lines, merged);
    if (const std::optional<RParameterKind> bad = TParameterInfo::FirstOutOfRange(merged))
        return session.failed(QStringLiteral("nothing written: %1").arg(OutOfRangeText(*bad)));

    // A lost or garbled answer is settled by reading the block back: what
    // the pack holds says whether it was written.
    const RVerifiedWrite written = WriteParametersVerified(
        session.store(), session.pack(), session.store().GetStoredParameters(session.pack()), merged, restoreDefaults);
    const TTextOper& texts = session.store().TextOper();
    const std::uint8_t port = session.globals().PortNumber.load();
    if (!session.store().IsSerialOpen(port) && !written.written())
        return session.failed(QStringLiteral("the port %1 went away; the set may not be written")
                                  .arg(session.store().DevOper().PortDevice(port)));
    switch (written.verdict) {
    case RWriteVerdict::Written:
        break;
    case RWriteVerdict::WrittenAnswerLost:
        session.out().error(texts.GetLanguageText(BusText::kWrittenAnswerLost) + QStringLiteral(": ")
                            + texts.GetErrorText(written.writeResult));
        break;
    case RWriteVerdict::NotWritten:
        return session.failed(texts.GetLanguageText(BusText::kNotWrittenAnswerLost) + QStringLiteral(": ")
                              + texts.GetErrorText(written.writeResult));
    case RWriteVerdict::Failed: {
        QString message = texts.GetErrorText(written.writeResult);
        if (written.rejectedId)
            message += QStringLiteral(" (id %1)").arg(*written.rejectedId);
        return session.failed(message);
    }
    case RWriteVerdict::Unverified:
        if (written.writeResult != 0 && written.readBackResult != 0)
            return session.failed(written.writeResult);
        if (written.readBackResult != 0)
            return session.failed(texts.GetLanguageText(BusText::kVerifyFailed) + QStringLiteral(": ")
                                  + texts.GetErrorText(written.readBackResult));
        PrintParameterSet(session, written.readBack);
        return session.failed(texts.GetLanguageText(BusText::kVerifyFailed) + QStringLiteral(": ")
                              + QString::number(written.mismatchIds.size()) + QStringLiteral(" field(s)"));
    }
    PrintParameterSet(session, written.readBack);
    return 0;
}

} // namespace

std::optional<std::vector<RParameterFileLine>> LoadParameterLines(const QString& file, QString& error)
{
    // The file is read once and checked now, so that a bad file sends
    // nothing and a pipe is read like any file. Only the ids it names are
    // checked against their ranges: the others keep the pack's values.
    TParameterInfo catalogue;
    catalogue.InitCatalogue();
    RParameter probe = catalogue.NewParameterSet(1);
    const RParameterFileResult imported = ImportParameterFile(file, probe);
    // A refused line is named by number; a file that could not be read
    // names itself.
    if (!imported.ok) {
        error = imported.errorLine > 0 ? QStringLiteral("%1: %2").arg(file, imported.errorText) : imported.errorText;
        return std::nullopt;
    }
    if (imported.applied.empty()) {
        error = QStringLiteral("%1 holds no parameters").arg(file);
        return std::nullopt;
    }
    for (const RParameterFileLine& line : imported.applied) {
        const RParameterKind& entry = probe.Entries[line.id];
        if (entry.Used == 1 && entry.ShowRange == 1 && !TParameterInfo::CheckParameterRange(entry)) {
            error = QStringLiteral("%1: Line %2: %3").arg(file).arg(line.lineNumber).arg(OutOfRangeText(entry));
            return std::nullopt;
        }
    }
    return imported.applied;
}

QString ParameterValueText(const RParameterKind& entry, Decimal value)
{
    RParameterKind shown = entry;
    shown.Value = value;
    return EntryValueText(shown);
}

Prepared PrepareParams(const CommandArgs& args)
{
    const QStringList& words = args.positional;
    const QString operation = words.value(0);
    if (operation == u"compare")
        return PrepareParamsCompare(args);
    if (args.has("--packs") && operation != u"write")
        return Prepared::Usage(QStringLiteral("--packs goes with \"params compare\" and \"params write\""));
    if (operation == u"read" && words.size() == 1 && !args.has("--restore-defaults")) {
        const QString outFile = args.value("--out");
        if (args.has("--out") && outFile.isEmpty())
            return Prepared::Usage(QStringLiteral("--out needs a file name"));
        return Prepared::Run([outFile](Session& session) { return RunRead(session, outFile); });
    }
    if (operation != u"write" || words.size() != 2 || args.has("--out"))
        return Prepared::Usage(QStringLiteral("expected \"params read [--out FILE.prt]\" or "
                                              "\"params write FILE.prt [--restore-defaults]\""));
    const QString file = words.at(1);
    QString error;
    const std::optional<std::vector<RParameterFileLine>> lines = LoadParameterLines(file, error);
    if (!lines)
        return Prepared::Usage(error);
    if (args.has("--packs"))
        return PrepareParamsWriteMany(args, *lines);
    const bool restoreDefaults = args.has("--restore-defaults");
    return Prepared::Run([lines = *lines, restoreDefaults](Session& session) {
        return RunWrite(session, lines, restoreDefaults);
    });
}
