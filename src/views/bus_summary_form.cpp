#include "views/bus_summary_form.h"

#include "services/text_ids.h"
#include "services/textoper.h"
#include "views/modal_run.h"
#include "views/overview_layout.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TBusSummaryForm::TBusSummaryForm(const QString& title, const QStringList& headers, const std::vector<Row>& rows,
                                 QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("BusSummaryForm"));
    setWindowTitle(title);
    auto* column = new QVBoxLayout(this);
    GridSummary = new QTableWidget(int(rows.size()), int(headers.size()), this);
    GridSummary->setObjectName(QStringLiteral("GridSummary"));
    GridSummary->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridSummary->verticalHeader()->hide();
    GridSummary->setHorizontalHeaderLabels(headers);
    for (int row = 0; row < int(rows.size()); ++row) {
        const Row& entry = rows[std::size_t(row)];
        for (int cell = 0; cell < headers.size(); ++cell) {
            auto* item = new QTableWidgetItem(entry.cells.value(cell));
            if (!entry.ok)
                item->setForeground(ColorFromBgr(kBgrRed));
            GridSummary->setItem(row, cell, item);
        }
    }
    GridSummary->resizeColumnsToContents();
    GridSummary->horizontalHeader()->setStretchLastSection(true);
    GridSummary->setMinimumSize(520, 260);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(TTextOper().GetLanguageText(TextId::kOk));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("BtnSummaryOk"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    column->addWidget(GridSummary, 1);
    column->addWidget(buttons);
}

void TBusSummaryForm::Run()
{
    TModalRun<TBusSummaryForm>::Run(*this);
}
