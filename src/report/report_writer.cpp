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
#include <QTemporaryFile>
#include <QScreen>
#include <QTextDocument>
#include <QTextOption>
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

// Writes into the save file, which the caller commits.
bool WritePdf(QSaveFile& file, const QString& html, const RReportImages& images, QString* error)
{
    const QString path = file.fileName();
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
        // Lines break between words only: a narrow column would otherwise
        // break a header inside a word ("Pac k").
        QTextOption wrapping = document.defaultTextOption();
        wrapping.setWrapMode(QTextOption::WordWrap);
        document.setDefaultTextOption(wrapping);
        QFont font = document.defaultFont();
        font.setPointSizeF(8.5);
        document.setDefaultFont(font);
        for (auto image = images.charts.cbegin(); image != images.charts.cend(); ++image)
            document.addResource(QTextDocument::ImageResource, QUrl(image.key()), image.value());
        document.setHtml(html);
        document.print(&writer);
    }   // the writer finishes the file here
    if (file.error() != QFileDevice::NoError)
        return Failed(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool WriteHtml(QSaveFile& file, const QString& html, QString* error)
{
    if (!file.open(QIODevice::WriteOnly) || file.write(html.toUtf8()) < 0)
        return Failed(error, QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    return true;
}

} // namespace

bool CheckReportFile(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir())
        return Failed(error, QStringLiteral("\"%1\" is not a file").arg(path));
    // A missing folder is refused, not made: a report that could not be
    // read would leave an empty folder behind.
    if (!info.absoluteDir().exists())
        return Failed(error, QStringLiteral("cannot write \"%1\": the folder %2 does not exist (it was not created)")
                                 .arg(path, info.absolutePath()));
    if (info.exists() && !info.isWritable())
        return Failed(error, QStringLiteral("cannot write \"%1\": it is read-only").arg(path));
    // The file is replaced through a new file in its folder: try one there,
    // since permission bits do not tell (a system folder, a read-only mount).
    QTemporaryFile probe(info.absoluteDir().filePath(QStringLiteral(".report-check-XXXXXX")));
    if (!probe.open())
        return Failed(error, QStringLiteral("cannot write \"%1\": its folder takes no new files (%2)")
                                 .arg(path, probe.errorString()));
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
    // Both files are finished before either replaces its target, so that a
    // failure leaves the earlier pair as it was.
    QSaveFile pdf(files.pdf);
    if (!WritePdf(pdf, pdfHtml, images, error))
        return false;
    QSaveFile htmlFile(files.html);
    if (!files.html.isEmpty()) {
        const QString html = ReportHtml(report, texts, [&images](const QString& name) {
            return images.charts.contains(name) ? DataUrl(images.charts.value(name)) : QString();
        });
        if (!WriteHtml(htmlFile, html, error))
            return false;
    }
    if (!pdf.commit())
        return Failed(error, QStringLiteral("cannot write %1: %2").arg(files.pdf, pdf.errorString()));
    if (!files.html.isEmpty() && !htmlFile.commit())
        return Failed(error, QStringLiteral("cannot write %1: %2").arg(files.html, htmlFile.errorString()));
    return true;
}

bool WriteReport(const RReport& report, const RReportFiles& files, const TTextOper& texts, QString* error)
{
    RReportImages images;
    images.screenDpi = ReportScreenDpi();
    for (const RPackReport& pack : report.packs)
        DrawPackCharts(pack, texts, images);
    return WriteReportFiles(report, images, files, texts, error);
}
