#include "ui/progress/ReportPrinting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPagedPaintDevice>
#include <QScreen>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextFrameFormat>
#include <QUrl>

#include <cmath>

namespace {

// Space kept free around the text on every side of a page, in centimetres.
constexpr double kPageMarginCm = 2.0;

// The resolution the document is laid out at: that of the screen, as for a document shown there.
double LayoutDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

// The printable area of device's page in layout pixels.
QSizeF PageSizeFor(const QPagedPaintDevice& device)
{
    const QSizeF inches = device.pageLayout().paintRect(QPageLayout::Inch).size();
    const double dpi = LayoutDpi();
    return QSizeF(std::floor(inches.width() * dpi), std::floor(inches.height() * dpi));
}

}  // namespace

TReportPrintDocument::TReportPrintDocument() = default;
TReportPrintDocument::~TReportPrintDocument() = default;

bool TReportPrintDocument::Load(const QString& reportPath)
{
    document_.reset();
    path_ = reportPath;
    QFile file(reportPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    auto document = std::make_unique<QTextDocument>();
    // The images are held by the document under the names the report gives them.
    const QDir folder = QFileInfo(reportPath).absoluteDir();
    for (const QString& name : folder.entryList({"*.bmp"}, QDir::Files))
        document->addResource(QTextDocument::ImageResource, QUrl(name), QImage(folder.filePath(name)));
    QTextFrameFormat page = document->rootFrame()->frameFormat();
    page.setMargin(kPageMarginCm / 2.54 * LayoutDpi());
    document->rootFrame()->setFrameFormat(page);
    // A floating image is left out of the width its table cell asks for, so the text beside it
    // would wrap under it: printed, the report's images stand in the line, centred on it.
    document->setDefaultStyleSheet("img { vertical-align: middle }");
    QString html = QString::fromUtf8(file.readAll());
    html.replace(QLatin1String(" ALIGN=\"LEFT\">"), QLatin1String(">"));
    // Laid out only when first printed, for the printer's page.
    document->setHtml(html);
    document_ = std::move(document);
    return true;
}

bool TReportPrintDocument::Print(QPagedPaintDevice* device) const
{
    if (!document_ || !device)
        return false;
    // A document with a page size is drawn page by page from one layout: laid out again only
    // when the page changes, never copied.
    const QSizeF page = PageSizeFor(*device);
    if (page.isEmpty())
        return false;
    if (document_->pageSize() != page)
        document_->setPageSize(page);
    document_->print(device);
    return true;
}
