#pragma once
// Draws cells as usual and gives a cell whose text is cut off a tool tip with the whole text;
// a cell whose text fits gets none.
#include <QStyledItemDelegate>

class TCellToolTipDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether the cell of index, drawn with option in view, shows its text whole.
    bool TextFits(const QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
