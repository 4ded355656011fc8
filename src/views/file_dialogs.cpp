#include "views/file_dialogs.h"

#include <QDir>
#include <QFileDialog>

#include <utility>

namespace FileDialogs {
namespace {

SaveHandler& CurrentHandler()
{
    static SaveHandler handler;
    return handler;
}

OpenHandler& CurrentOpenHandler()
{
    static OpenHandler handler;
    return handler;
}

QString ShowModal(QWidget* parent, const SaveRequest& request, QFileDialog::AcceptMode mode)
{
    // "Excel|*.csv" reads as the dialog's "Excel (*.csv)".
    const qsizetype bar = request.filter.indexOf(QLatin1Char('|'));
    const QString filter = bar < 0 ? request.filter
                                   : request.filter.left(bar) + QStringLiteral(" (") + request.filter.mid(bar + 1)
                                         + QLatin1Char(')');
    QFileDialog dialog(parent, request.caption, request.folder, filter);
    dialog.setAcceptMode(mode);
    if (mode == QFileDialog::AcceptOpen)
        dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

} // namespace

SaveHandler SetSaveHandler(SaveHandler handler)
{
    return std::exchange(CurrentHandler(), std::move(handler));
}

QString AskSaveFileName(QWidget* parent, const SaveRequest& request)
{
    const SaveHandler& handler = CurrentHandler();
    return handler ? handler(parent, request) : ShowModal(parent, request, QFileDialog::AcceptSave);
}

QString AskSaveFileInHome(QWidget* parent, const QString& caption, const QString& description,
                          const QString& suffix)
{
    SaveRequest request;
    request.caption = caption;
    request.folder = QDir::homePath();
    request.filter = description + QStringLiteral("|*.") + suffix;
    request.defaultSuffix = suffix;
    return AskSaveFileName(parent, request);
}

OpenHandler SetOpenHandler(OpenHandler handler)
{
    return std::exchange(CurrentOpenHandler(), std::move(handler));
}

QString AskOpenFileName(QWidget* parent, const OpenRequest& request)
{
    const OpenHandler& handler = CurrentOpenHandler();
    return handler ? handler(parent, request) : ShowModal(parent, request, QFileDialog::AcceptOpen);
}

} // namespace FileDialogs
