#pragma once

// The communication lamp: a filled circle in the colour the polling thread
// gives it (red, green or yellow).

#include <QColor>
#include <QWidget>

class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent = nullptr);

    void setBrushColor(const QColor& colour);
    QColor brushColor() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_colour = Qt::white;
};
