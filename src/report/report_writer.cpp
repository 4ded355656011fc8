#include "report/report_writer.h"

#include "report/report_charts.h"
#include "report/report_document.h"
#include "store/report_data.h"

#include <QBuffer>
#include <QDir>
#include <QFont>
#include <QFileInfo>
#include <QHash>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScreen>
#include <QTextDocument>
#include <QUrl>

namespace {

QString DataUrl(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

bool Failed(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

bool WritePdf(const QString& path, const QString& html, const RReportImages& images, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QFileInfo(path).completeBaseName());
        QTextDocument document;
        // The document lays out in screen pixels and print() scales them to
        // the writer: the page is the printable area in those pixels, so
        // that a point of text is a printed point.
        document.setPageSize(writer.pageLayout().paintRectPoints().size() * (images.screenDpi / 72.0));
        QFont font = document.defaultFont();
        font.setPointSizeF(8.5);
        document.setDefaultFont(font);
        for (auto image = images.charts.cbegin(); image != images.charts.cend(); ++image)
            document.addResource(QTextDocument::ImageResource, QUrl(image.key()), image.value());
        document.setHtml(html);
        document.print(&writer);
    }   // the writer finishes the file here
    if (!file.commit())
        return Failed(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool WriteHtml(const QString& path, const QString& html, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(html.toUtf8()) < 0 || !file.commit())
        return Failed(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

} // namespace

bool CheckReportFile(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir() || !info.absoluteDir().exists())
        return Failed(error, QStringLiteral("\"%1\" is not a file in an existing folder").arg(path));
    if (info.exists() && !info.isWritable())
        return Failed(error, QStringLiteral("cannot write \"%1\": it is read-only").arg(path));
    if (!QFileInfo(info.absolutePath()).isWritable())
        return Failed(error, QStringLiteral("cannot write \"%1\": its folder takes no new files").arg(path));
    return true;
}

bool CheckReportFiles(const RReportFiles& files, QString* error)
{
    if (!CheckReportFile(files.pdf, error))
        return false;
    if (!files.html.isEmpty() && !CheckReportFile(files.html, error))
        return false;
    if (!files.html.isEmpty() && QFileInfo(files.html).absoluteFilePath() == QFileInfo(files.pdf).absoluteFilePath())
        return Failed(error, QStringLiteral("the PDF and the HTML file must differ"));
    return true;
}

void DrawPackCharts(const RPackReport& pack, const TTextOper& texts, RReportImages& images)
{
    if (!pack.answered)
        return;
    images.charts.insert(CellChartName(pack.packNumber), CellVoltageChart(pack, texts));
    const QImage work = WorkDataChart(pack, texts);
    if (!work.isNull())
        images.charts.insert(WorkChartName(pack.packNumber), work);
}

double ReportScreenDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

bool WriteReportFiles(const RReport& report, const RReportImages& images, const RReportFiles& files,
                      const TTextOper& texts, QString* error)
{
    const QString pdfHtml = ReportHtml(report, texts, [&images](const QString& name) {
        return images.charts.contains(name) ? name : QString();
    });
    if (!WritePdf(files.pdf, pdfHtml, images, error))
        return false;
    if (files.html.isEmpty())
        return true;
    const QString html = ReportHtml(report, texts, [&images](const QString& name) {
        return images.charts.contains(name) ? DataUrl(images.charts.value(name)) : QString();
    });
    return WriteHtml(files.html, html, error);
}

bool WriteReport(const RReport& report, const RReportFiles& files, const TTextOper& texts, QString* error)
{
    RReportImages images;
    images.screenDpi = ReportScreenDpi();
    for (const RPackReport& pack : report.packs)
        DrawPackCharts(pack, texts, images);
    return WriteReportFiles(report, images, files, texts, error);
}
