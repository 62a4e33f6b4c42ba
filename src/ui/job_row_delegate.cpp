#include "ui/job_row_delegate.h"

#include "control/job_rows_model.h"

#include <QPainter>

#include <cmath>

namespace morvane {

namespace {

const QColor SelectedBackground(101, 178, 255);
const QColor ProgressFill(139, 192, 80);
constexpr int CellMargin = 5;
constexpr int TextTop = 8;
constexpr int TextBottomMargin = 3;
constexpr int ProgressBarHeight = 10;

QColor ToneColour(TResultTone tone, const QColor& normal) {
    switch (tone) {
    case TResultTone::Red:
        return QColor(255, 0, 0);
    case TResultTone::Amber:
        return QColor(173, 128, 40);
    case TResultTone::Green:
        return QColor(0, 128, 0);
    case TResultTone::Normal:
        break;
    }
    return normal;
}

} // namespace

int TJobRowDelegate::RowHeight(double dotsPerInch) {
    return static_cast<int>(std::lround(DesignedRowHeight * dotsPerInch / 96.0));
}

QSize TJobRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const double dpi = option.widget ? option.widget->logicalDpiY() : 96.0;
    size.setHeight(RowHeight(dpi));
    return size;
}

void TJobRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    painter->fillRect(option.rect, selected ? SelectedBackground : palette.color(QPalette::Base));
    const QColor textColour = selected ? QColor(Qt::white) : palette.color(QPalette::Text);

    QRect cell = option.rect.adjusted(CellMargin, 0, 0, 0);
    cell.setTop(option.rect.top() + TextTop);
    cell.setBottom(option.rect.bottom() - TextBottomMargin);

    const auto tone = static_cast<TResultTone>(index.data(TJobRowsModel::ResultToneRole).toInt());
    painter->setPen(ToneColour(tone, textColour));
    painter->setFont(option.font);
    const QString text = index.data(Qt::DisplayRole).toString();
    QRect textRect = cell;
    const int progress = index.data(TJobRowsModel::ProgressRole).toInt();
    const bool drawBar = index.column() == TJobRowsModel::ColumnLastResult && progress >= 0;
    int textWidth = 0;
    if (drawBar) {
        // One spare pixel: the advance is rounded, and a rect exactly that wide elides the text.
        textWidth = option.fontMetrics.horizontalAdvance(text) + 1;
        textRect.setWidth(std::min(textWidth, cell.width()));
    }
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));

    if (drawBar) {
        // The bar takes what the text leaves of the cell.
        const int left = cell.left() + textWidth + CellMargin;
        const int right = cell.right() - CellMargin;
        if (right - left >= 2 * CellMargin) {
            const int top = cell.top() + (option.fontMetrics.height() - ProgressBarHeight) / 2;
            const QRect outline(left, top, right - left, ProgressBarHeight);
            const int filled = (outline.width() - 1) * progress / 100;
            if (filled > 0)
                painter->fillRect(QRect(outline.left() + 1, outline.top() + 1, filled, outline.height() - 1),
                                  ProgressFill);
            painter->setPen(textColour);
            painter->drawRect(outline);
        }
    }
    painter->restore();
}

} // namespace morvane
