#include "poll_metrics.h"

PollMetrics::PollMetrics(const RListenAddress& where, std::chrono::seconds staleAfter, const Output& output)
    : m_where(where), m_output(output), m_registry(staleAfter)
{
}

bool PollMetrics::serve()
{
    if (m_server.serving())
        return true;
    if (m_sinceAttempt.isValid() && !m_sinceAttempt.hasExpired(std::chrono::milliseconds(kRetryPause).count()))
        return false;
    m_sinceAttempt.start();
    QString error;
    if (!m_server.start(m_where, error)) {
        m_lastError = error;
        // Once, not at every attempt.
        if (!m_reported) {
            m_reported = true;
            m_output.error(QStringLiteral("metrics: %1; polling goes on, trying again every %2 s")
                               .arg(error)
                               .arg(kRetryPause.count()));
        }
        return false;
    }
    m_everServed = true;
    RListenAddress served = m_where;
    served.port = m_server.port();
    if (const QString warning = EveryInterfaceWarning(served); !warning.isEmpty())
        m_output.error(warning);
    m_output.printLine(OutputRecord(QStringLiteral("metrics"))
                           .text(QStringLiteral("event"), QStringLiteral("serving"))
                           .text(QStringLiteral("url"), MetricsUrl(served)));
    return true;
}
