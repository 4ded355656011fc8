#pragma once

// The pieces the three overview grids share: a table model that keeps the
// last records shown and formats cells on request, the cell painter, and the
// setup of the disabled "StringGrid1" view inside its group box.

#include "protocol/records.h"
#include "views/overview_layout.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

#include <optional>
#include <vector>

class QTableView;

// Keeps the records of the last ShowData (none after InitGrid) and answers
// the view's questions: text, colour, background and alignment per cell.
// Subclasses give the frame's own cell texts and colours.
class OverviewGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Asks the painter for the 5-pixel right alignment (CellAlign) of a cell.
    static constexpr int kCellAlignRole = Qt::UserRole + 1;

    OverviewGridModel(int rows, int columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Forgets the records: every value cell becomes empty.
    void clearRecords();
    // Keeps copies of the records and repaints every cell.
    void setRecords(const RAnalogData& analog, const RAlarmData& alarm);
    bool hasRecords() const { return m_analog.has_value(); }

    // Repaints every cell, after the fixed labels changed.
    void refreshAll();

protected:
    virtual QString cellText(int row, int column) const = 0;
    // Colour of the cell's text; black unless a frame colours its extremes.
    virtual std::uint32_t cellTextBgr(int /*row*/, int /*column*/) const { return kBgrBlack; }
    virtual CellAlign cellAlign(int /*row*/, int /*column*/) const { return CellAlign::Centre; }
    // Called after the records changed, before the repaint.
    virtual void recordsChanged() {}
    // A grid whose rows follow the records (another family's temperature
    // list): the view is told of the new shape.
    void setRowCount(int rows);

    const RAnalogData& analog() const { return *m_analog; }
    const RAlarmData& alarm() const { return *m_alarm; }

private:
    int m_rows;
    int m_columns;
    std::optional<RAnalogData> m_analog;
    std::optional<RAlarmData> m_alarm;
};

// Paints one cell: the background, then the text in the foreground colour
// at the position CellTextOrigin gives.
void PaintGridCell(QPainter* painter, const QRect& cell, const QFont& font, const QString& text,
                   const QColor& background, const QColor& foreground, CellAlign align);

// Paints a cell: its row background, then its text in the model's colour at
// the position CellTextOrigin gives. The grid is disabled, so the painter
// ignores the palette's disabled greys.
class OverviewCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// Turns view into the frame's "StringGrid1": no headers, no scrolling, no
// clicks, row height 20, the given column widths, painted by the delegate.
void SetUpOverviewGrid(QTableView* view, OverviewGridModel* model, const std::vector<int>& columnWidths);

// Sets a column of a grid with a header row to its specified width, or
// wider when the header text (in the language in force) or widestValue
// would be clipped.
void SetFittingColumnWidth(QTableView* view, int column, int specifiedWidth, const QString& widestValue = {});
