#pragma once

// Stand-in for the four command pages. It offers the operations the main
// window calls on the finished pages, so the window's order of steps is
// complete already; until a page is built its operations show nothing.

#include <QFrame>

// A page that sends its own commands (parameters, configuration, records).
class TPendingCommandPage : public QFrame {
    Q_OBJECT
public:
    explicit TPendingCommandPage(QWidget* parent = nullptr);
    void InitPage() {}
    void ApplyLanguage() {}
};
