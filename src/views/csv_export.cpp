#include "views/csv_export.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "views/file_dialogs.h"
#include "views/message_boxes.h"

#include <QDir>

QString ExportGridToCsv(QWidget* parent, int lineCount, const CsvRowSource& rows, const QString& baseFolder)
{
    const TTextOper texts;
    if (MessageBoxes::Ask(parent, texts.GetLanguageText(TextId::kConfirmExport)) != MessageBoxes::Answer::Ok)
        return {};
    if (lineCount <= 1) {
        MessageBoxes::Inform(parent, texts.GetLanguageText(TextId::kNothingToExport));
        return {};
    }
    FileDialogs::SaveRequest request;
    request.caption = texts.GetLanguageText(TextId::kExport);
    request.folder = QDir(baseFolder).filePath(QStringLiteral("Excel"));
    request.filter = QStringLiteral("Excel|*.csv");
    request.defaultSuffix = QStringLiteral("csv");
    const QString path = FileDialogs::AskSaveFileName(parent, request);
    if (path.isEmpty())
        return {};
    QString error;
    if (!WriteCsvFile(path, lineCount, rows, &error)) {
        MessageBoxes::Warn(parent, QDir::toNativeSeparators(path) + QStringLiteral(": ") + error);
        return {};
    }
    MessageBoxes::Inform(parent, path + QStringLiteral("*****") + texts.GetLanguageText(TextId::kOperationSucceeded));
    return path;
}
