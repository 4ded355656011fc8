#pragma once

// The chart window: a window of its own over the reading history of one
// pack, opened from the main window. It follows the pack the main window
// is given (FollowPack); while the main window polls every pack ("Auto")
// the pack is the one chosen in the window's own box. A timer of the
// user-interface thread copies the readings filed since its last look out
// of the history and appends them to the chart; the polling thread never
// reaches the window.

#include <QWidget>

#include <cstdint>

class QComboBox;
class QLabel;
class QTimer;
class TDevInfo;
class TReadingChart;

class TChartWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 1000;

    TChartWindow(TDevInfo& store, std::uint8_t packNumber, QWidget* parent = nullptr);

    // Shows pack 1..16 from its first held reading on.
    void FollowPack(std::uint8_t packNumber);
    std::uint8_t PackNumber() const { return m_packNumber; }
    void ApplyLanguage();
    // Appends what the history gained since the last look (the timer does
    // so every kRefreshMs while the window is shown).
    void Refresh();

    TReadingChart* Chart() const { return m_chart; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    TDevInfo& m_store;
    std::uint8_t m_packNumber = 0;
    // Sequence numbers of the history: the first point the chart holds and
    // the next one to fetch.
    std::uint64_t m_firstShown = 0;
    std::uint64_t m_next = 0;

    QLabel* LabelChartPack = nullptr;
    QComboBox* ComboChartPack = nullptr;
    TReadingChart* m_chart = nullptr;
    QTimer* m_timer = nullptr;
};
