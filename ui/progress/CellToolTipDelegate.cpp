#include "ui/progress/CellToolTipDelegate.h"

#include "ui/progress/CopyProgressModels.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

bool TCellToolTipDelegate::TextFits(const QAbstractItemView* view, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if (cell.text.isEmpty())
        return true;
    const QStyle* style = view ? view->style() : cell.widget ? cell.widget->style() : nullptr;
    if (!style)
        return true;
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, view);
    // The style keeps a margin on each side of the text, as it does when it elides.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    return cell.fontMetrics.horizontalAdvance(cell.text) <= textRect.width() - 2 * margin;
}

bool TCellToolTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                     const QModelIndex& index)
{
    if (!event || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (TextFits(view, option, index)) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QString tip = index.data(Qt::ToolTipRole).toString();
    if (tip.isEmpty())
        tip = PlainToolTip(index.data(Qt::DisplayRole).toString());
    QToolTip::showText(event->globalPos(), tip, view->viewport(), view->visualRect(index));
    return true;
}
