#pragma once

// Builds the group box "GroupBox1" that fills an overview frame and holds its
// grid "StringGrid1".

#include <QString>

#include <vector>

class OverviewGridModel;
class QFrame;
class QGroupBox;
class QTableView;

struct OverviewFrameParts {
    QGroupBox* groupBox = nullptr;
    QTableView* grid = nullptr;
};

OverviewFrameParts BuildOverviewFrame(QFrame* frame, const QString& caption, OverviewGridModel* model,
                                      const std::vector<int>& columnWidths);
