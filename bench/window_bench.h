#pragma once

// What the window benches share: a program folder whose BMS.ini maps COM1
// to the in-process simulated bus, a timer on the user-interface thread
// that records how late each of its ticks comes, and percentiles.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

inline double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(fraction * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Writes BMS.ini into folder: COM1 on the simulated bus, then the [BMS]
// lines given. False (with a message naming program) when it cannot.
inline bool WriteSimulatorSettings(const QTemporaryDir& folder, const char* bmsLines, const char* program)
{
    QFile ini(folder.filePath(QStringLiteral("BMS.ini")));
    if (!folder.isValid() || !ini.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "%s: no temporary program folder\n", program);
        return false;
    }
    ini.write(QByteArray("[Ports]\nCOM1=simulator\n\n[BMS]\n") + bmsLines);
    return true;
}

// Runs the event loop until done() holds (checked every 50 ms) or timeoutMs
// has passed: a loop of its own, so that quitting it does not close the
// window under measurement.
inline void RunEventLoopUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop measuring;
    QTimer::singleShot(timeoutMs, &measuring, &QEventLoop::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &measuring, [&] {
        if (done())
            measuring.quit();
    });
    watch.start(50);
    measuring.exec();
}

// Ticks every tickMs on the thread it lives on and keeps each tick's
// lateness in milliseconds.
class LatenessProbe {
public:
    explicit LatenessProbe(int tickMs)
        : m_tickMs(tickMs)
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            const double interval = double(m_sinceTick.nsecsElapsed()) / 1e6;
            m_sinceTick.restart();
            m_latenessMs.push_back(std::max(0.0, interval - m_tickMs));
        });
    }

    void start()
    {
        m_sinceTick.start();
        m_ticker.start(m_tickMs);
    }
    void stop() { m_ticker.stop(); }
    const std::vector<double>& latenessMs() const { return m_latenessMs; }

    // "median M ms, p99 P ms, max X ms"
    void print(const char* indent) const
    {
        std::printf("%sevent-loop lateness: median %.2f ms, p99 %.2f ms, max %.2f ms over %zu ticks of %d ms "
                    "(target p99 <= 50 ms)\n",
                    indent, Percentile(m_latenessMs, 0.5), Percentile(m_latenessMs, 0.99),
                    Percentile(m_latenessMs, 1.0), m_latenessMs.size(), m_tickMs);
    }

private:
    int m_tickMs;
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    std::vector<double> m_latenessMs;
};
