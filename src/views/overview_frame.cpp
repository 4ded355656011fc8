#include "views/overview_frame.h"

#include "views/overview_grid.h"

#include <QFrame>
#include <QGroupBox>
#include <QTableView>
#include <QVBoxLayout>

OverviewFrameParts BuildOverviewFrame(QFrame* frame, const QString& caption, OverviewGridModel* model,
                                      const std::vector<int>& columnWidths)
{
    OverviewFrameParts parts;
    auto* outer = new QVBoxLayout(frame);
    outer->setContentsMargins(0, 0, 0, 0);
    parts.groupBox = new QGroupBox(caption, frame);
    parts.groupBox->setObjectName(QStringLiteral("GroupBox1"));
    outer->addWidget(parts.groupBox);

    auto* inner = new QVBoxLayout(parts.groupBox);
    inner->setContentsMargins(4, 2, 4, 4);
    parts.grid = new QTableView(parts.groupBox);
    SetUpOverviewGrid(parts.grid, model, columnWidths);
    inner->addWidget(parts.grid);
    return parts;
}
