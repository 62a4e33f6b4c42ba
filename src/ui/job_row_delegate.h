#pragma once

#include <QStyledItemDelegate>

namespace morvane {

// Draws the cells of the job list: the selected row in (101, 178, 255) with white text, the result in
// its tone's colour (also when selected), and a progress bar beside a running job's percentage. Rows
// are 30 logical pixels high at 96 dots per inch, scaled for the screen.
class TJobRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static constexpr int DesignedRowHeight = 30;
    // The row height for a screen's logical dots per inch.
    static int RowHeight(double dotsPerInch);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace morvane
