#pragma once

// TBusSummaryForm: the table a bus-wide job ends with, one row per pack
// ("GridSummary"): what became of each pack of a batch write or a clock
// sync. Rows that did not succeed are painted red. Shown modally through
// TModalRun, so tests read it through the hook.

#include <QDialog>
#include <QStringList>

#include <vector>

class QTableWidget;

class TBusSummaryForm : public QDialog {
    Q_OBJECT
public:
    struct Row {
        QStringList cells;
        bool ok = true;
    };

    TBusSummaryForm(const QString& title, const QStringList& headers, const std::vector<Row>& rows,
                    QWidget* parent = nullptr);

    void Run();
    QTableWidget* grid() const { return GridSummary; }

private:
    QTableWidget* GridSummary = nullptr;
};
