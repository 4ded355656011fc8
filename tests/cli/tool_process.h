#pragma once

#include "protocol/devoper.h"
#include "support/child_process.h"
#include "support/sim_process.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

// Command-line words from C strings.
inline QStringList Words(std::initializer_list<const char*> words)
{
    QStringList list;
    for (const char* word : words)
        list << QString::fromUtf8(word);
    return list;
}

// Runs bmstool once and keeps what it printed.
struct ToolRun {
    int exitCode = -1;
    bool finished = false;
    QString out;
    QString err;

    // Standard output as JSON objects, one per line; a line that does not
    // parse gives an empty object, which the tests notice.
    std::vector<QJsonObject> json() const
    {
        std::vector<QJsonObject> objects;
        for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            objects.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
        return objects;
    }
    QJsonObject first() const
    {
        const std::vector<QJsonObject> objects = json();
        return objects.empty() ? QJsonObject() : objects.front();
    }
};

inline ToolRun RunTool(const QStringList& arguments, int timeoutMs = 120000)
{
    ChildProcess process;
    ToolRun run;
    if (!process.start(QStringLiteral(BMS_TOOL_PROGRAM), arguments))
        return run;
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished)
        process.kill();
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.standardOutput());
    run.err = QString::fromUtf8(process.standardError());
    return run;
}

// bmstool against one bms-sim on a pseudo-terminal (or, with a TCP port, as
// a serial gateway): the arguments get "--port <link>" in front.
class ToolOnSim {
public:
    explicit ToolOnSim(const QStringList& simArguments = {}, int packs = 4, int tcpPort = -1)
        : m_sim(simArguments, packs, tcpPort)
    {
    }

    bool isReady() const { return m_sim.isReady(); }
    QString error() const { return m_sim.error(); }
    const SimProcess& sim() const { return m_sim; }

    ToolRun run(const QStringList& arguments, int timeoutMs = 120000) const
    {
        return RunTool(QStringList{QStringLiteral("--port"), m_sim.linkPath()} + arguments, timeoutMs);
    }
    ToolRun json(const QStringList& arguments) const { return run(QStringList{QStringLiteral("--json")} + arguments); }

    // The parameter block of a pack exactly as it comes over the line,
    // read past the tool; empty on failure.
    QByteArray rawParameterBlock(std::uint8_t pack) const
    {
        TDevOper op;
        if (!op.OpenLink(m_sim.linkSettings(), 1))
            return {};
        QByteArray block;
        const char request = char(pack);
        const std::uint8_t result = op.Execute(pack, CommandId::ReadParameters, QByteArrayView(&request, 1),
                                               [&block](const AnswerView& answer) {
                                                   for (int k = 0; k < answer.infoCount(); ++k)
                                                       block.append(char(answer.info(k)));
                                                   return ResultCode::kSuccess;
                                               });
        op.CloseSerial(1);
        return result == ResultCode::kSuccess ? block : QByteArray();
    }

private:
    SimProcess m_sim;
};

// A test that runs bmstool against a bms-sim of its own (started with the
// given arguments) and keeps its files in a folder of its own.
class ToolOnSimTest : public ::testing::Test {
protected:
    void start(const QStringList& simArguments = {})
    {
        m_tool = std::make_unique<ToolOnSim>(simArguments);
        ASSERT_TRUE(m_tool->isReady()) << m_tool->error().toStdString();
        ASSERT_TRUE(m_folder.isValid());
    }
    QString file(const char* name) const { return m_folder.filePath(QLatin1String(name)); }

    std::unique_ptr<ToolOnSim> m_tool;
    QTemporaryDir m_folder;
};

// bmstool's arguments to poll PACKS of the simulator at LINK, as JSON, with
// /metrics served on a port of its choosing (LineReader::metricsUrl).
inline QStringList PollServingMetrics(const QString& link, const QString& packs)
{
    return {QStringLiteral("--port"), link,   QStringLiteral("--json"),    QStringLiteral("poll"),
            QStringLiteral("--packs"), packs, QStringLiteral("--metrics"), QStringLiteral("0")};
}

// A program's standard output, line by line as it comes.
class LineReader {
public:
    LineReader(const QString& program, const QStringList& arguments) { m_process.start(program, arguments); }

    // Reads until the condition holds; false at the deadline or when the
    // program ended first.
    bool waitFor(const std::function<bool()>& done, int timeoutMs = 120000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!done()) {
            if (deadline.hasExpired() || !m_process.isRunning())
                return false;
            m_process.waitForLine(200);
            take();
        }
        return true;
    }
    // Sends the signal and reads to the end.
    int end(int signal)
    {
        m_process.signal(signal);
        m_process.waitForFinished(60000);
        take();
        return m_process.exitCode();
    }
    const QByteArrayList& lines() const { return m_lines; }
    QString errors() const { return QString::fromUtf8(m_process.standardError()); }
    // The URL a --json run serves /metrics at, once it says so; empty when
    // it never did.
    QString metricsUrl(int timeoutMs = 120000)
    {
        QString url;
        waitFor(
            [&] {
                for (const QByteArray& line : m_lines) {
                    const QJsonObject object = QJsonDocument::fromJson(line).object();
                    if (object[QStringLiteral("type")] == QLatin1String("metrics"))
                        url = object[QStringLiteral("url")].toString();
                }
                return !url.isEmpty();
            },
            timeoutMs);
        return url;
    }

private:
    void take()
    {
        m_pending += m_process.takeStandardOutput();
        for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1))
            m_lines << m_pending.left(end);
    }

    ChildProcess m_process;
    QByteArray m_pending;
    QByteArrayList m_lines;
};
