#include "views/overview_grid.h"

#include <QHeaderView>
#include <QPainter>
#include <QTableView>

#include <algorithm>

namespace {
constexpr int kRowHeight = 20;
}

OverviewGridModel::OverviewGridModel(int rows, int columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_rows(rows)
    , m_columns(columns)
{
}

int OverviewGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int OverviewGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant OverviewGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, column);
    case Qt::ForegroundRole:
        return ColorFromBgr(cellTextBgr(row, column));
    case Qt::BackgroundRole:
        return ColorFromBgr(RowBackgroundBgr(row));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(cellAlign(row, column) == CellAlign::RightWithMargin
                                       ? Qt::AlignRight | Qt::AlignVCenter
                                       : Qt::AlignCenter);
    case kCellAlignRole:
        return static_cast<int>(cellAlign(row, column));
    default:
        return {};
    }
}

void OverviewGridModel::clearRecords()
{
    m_analog.reset();
    m_alarm.reset();
    recordsChanged();
    refreshAll();
}

void OverviewGridModel::setRecords(const RAnalogData& analog, const RAlarmData& alarm)
{
    m_analog = analog;
    m_alarm = alarm;
    recordsChanged();
    refreshAll();
}

void OverviewGridModel::setRowCount(int rows)
{
    if (rows == m_rows)
        return;
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void OverviewGridModel::refreshAll()
{
    if (m_rows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
}

void PaintGridCell(QPainter* painter, const QRect& cell, const QFont& font, const QString& text,
                   const QColor& background, const QColor& foreground, CellAlign align)
{
    painter->save();
    painter->fillRect(cell, background);
    if (!text.isEmpty()) {
        const QFontMetrics metrics(font);
        const QSize textSize(metrics.horizontalAdvance(text), metrics.height());
        const QPoint origin = CellTextOrigin(cell, textSize, align);
        painter->setFont(font);
        painter->setPen(foreground);
        painter->drawText(QRect(origin, textSize), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    }
    painter->restore();
}

void OverviewCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    PaintGridCell(painter, option.rect, option.font, index.data(Qt::DisplayRole).toString(),
                  index.data(Qt::BackgroundRole).value<QColor>(), index.data(Qt::ForegroundRole).value<QColor>(),
                  static_cast<CellAlign>(index.data(OverviewGridModel::kCellAlignRole).toInt()));
}

void SetUpOverviewGrid(QTableView* view, OverviewGridModel* model, const std::vector<int>& columnWidths)
{
    view->setObjectName(QStringLiteral("StringGrid1"));
    view->setModel(model);
    view->setItemDelegate(new OverviewCellDelegate(view));
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setFocusPolicy(Qt::NoFocus);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(kRowHeight);
    view->verticalHeader()->setMinimumSectionSize(1);
    int totalWidth = 0;
    for (int column = 0; column < int(columnWidths.size()); ++column) {
        view->setColumnWidth(column, columnWidths[std::size_t(column)]);
        totalWidth += columnWidths[std::size_t(column)];
    }
    // The user only watches these grids: no cell can be clicked or selected.
    view->setEnabled(false);
    // The grid asks for exactly its cells, so the frames' size hints tell the
    // main window how much room they need.
    view->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    const int frame = 2 * view->frameWidth();
    view->setMinimumSize(totalWidth + frame, model->rowCount() * kRowHeight + frame);
}

void SetFittingColumnWidth(QTableView* view, int column, int specifiedWidth, const QString& widestValue)
{
    // Room for the header's and the cell's own frame and padding.
    constexpr int kHeaderPadding = 14;
    constexpr int kCellPadding = 10;
    const QString header = view->model()->headerData(column, Qt::Horizontal).toString();
    const int headerWidth = view->horizontalHeader()->fontMetrics().horizontalAdvance(header) + kHeaderPadding;
    const int valueWidth = widestValue.isEmpty() ? 0 : view->fontMetrics().horizontalAdvance(widestValue) + kCellPadding;
    view->setColumnWidth(column, std::max({specifiedWidth, headerWidth, valueWidth}));
}
