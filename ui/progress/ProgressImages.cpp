#include "ui/progress/ProgressImages.h"

#include "ui/progress/CopyProgressRules.h"

#include <QPainter>

#include <functional>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A filled disc with a short white glyph.
QIcon Badge(const QColor& fill, const QString& glyph)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(fill.darker(150), 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

QIcon Drawn(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return QIcon(pixmap);
}

QIcon Folder()
{
    return Drawn([](QPainter& p) {
        p.setPen(QColor(0xa0, 0x78, 0x10));
        p.setBrush(QColor(0xf5, 0xc8, 0x42));
        QPainterPath path;
        path.moveTo(1.5, 3.5);
        path.lineTo(6.5, 3.5);
        path.lineTo(8, 5.5);
        path.lineTo(14.5, 5.5);
        path.lineTo(14.5, 13.5);
        path.lineTo(1.5, 13.5);
        path.closeSubpath();
        p.drawPath(path);
    });
}

QIcon Globe()
{
    return Drawn([](QPainter& p) {
        p.setPen(QPen(QColor(0x1e, 0x5a, 0xa8), 1.2));
        p.setBrush(QColor(0xcf, 0xe3, 0xff));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.drawEllipse(QRectF(5, 1.5, 6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    });
}

QIcon Document(const QColor& fill)
{
    return Drawn([fill](QPainter& p) {
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.setBrush(fill);
        p.drawRect(QRectF(3.5, 1.5, 9, 13));
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 5.5));
        p.drawLine(QPointF(5.5, 8.5), QPointF(10.5, 8.5));
        p.drawLine(QPointF(5.5, 11.5), QPointF(9.5, 11.5));
    });
}

QIcon Envelope()
{
    return Drawn([](QPainter& p) {
        p.setPen(QColor(0x30, 0x30, 0x60));
        p.setBrush(QColor(0xff, 0xff, 0xe0));
        p.drawRect(QRectF(1.5, 3.5, 13, 9));
        p.drawLine(QPointF(1.5, 3.5), QPointF(8, 9));
        p.drawLine(QPointF(14.5, 3.5), QPointF(8, 9));
    });
}

}  // namespace

QList<QIcon> CompletedImageList()
{
    QList<QIcon> images(riImageCount);
    images[riSuccess] = Badge(QColor(0x2e, 0x9d, 0x3a), QString::fromUtf8("\xE2\x9C\x93"));
    images[riFiltered] = Badge(QColor(0x80, 0x80, 0x80), "-");
    images[riCancelled] = Badge(QColor(0xe0, 0x8a, 0x00), "x");
    images[riRetryable] = Badge(QColor(0xd4, 0xb0, 0x00), "!");
    images[riError] = Badge(QColor(0xc6, 0x28, 0x28), "x");
    images[riNotFound] = Badge(QColor(0x8e, 0x24, 0xaa), "?");
    images[riEmail] = Envelope();
    images[riFolder] = Folder();
    images[riHost] = Globe();
    images[riRoot] = Document(QColor(0xe8, 0xf0, 0xff));
    return images;
}

QList<QIcon> InProgressImageList()
{
    QList<QIcon> images(5);
    images[ipDownload] = Badge(QColor(0x1e, 0x6f, 0xd0), QString::fromUtf8("\xE2\x86\x93"));
    images[ipRead] = Document(Qt::white);
    images[ipWrite] = Document(QColor(0xff, 0xf3, 0xc0));
    images[ipPrune] = Badge(QColor(0x60, 0x7d, 0x8b), "-");
    images[ipFlatten] = Badge(QColor(0x60, 0x7d, 0x8b), "^");
    return images;
}
