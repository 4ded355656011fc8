#pragma once

// A helper program started by a test (bms-sim, bmstool), with its standard
// output and error collected through pipes.
//
// Started with fork() and exec() rather than QProcess: QProcess starts its
// child through a raw clone() that ThreadSanitizer does not see, after which
// the sanitizer ignores the starting thread's own locking and reports races
// that are not there. The pseudo-terminal tests run on Unix only.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // A program started before is ended first; the object starts afresh.
    bool start(const QString& program, const QStringList& arguments)
    {
        kill();
        m_pid = -1;
        m_finished = false;
        m_exitCode = -1;
        m_stdout.clear();
        m_stderr.clear();
        int out[2];
        int err[2];
        if (::pipe(out) != 0)
            return false;
        if (::pipe(err) != 0) {
            ::close(out[0]);
            ::close(out[1]);
            return false;
        }
        // Everything exec needs is prepared before the fork.
        std::vector<std::string> words{program.toStdString()};
        for (const QString& argument : arguments)
            words.push_back(argument.toStdString());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);

        m_pid = ::fork();
        if (m_pid == 0) {
            const int devNull = ::open("/dev/null", O_RDONLY);
            ::dup2(devNull, 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        if (m_pid < 0) {
            ::close(out[0]);
            ::close(err[0]);
            return false;
        }
        m_out = out[0];
        m_err = err[0];
        return true;
    }

    qint64 processId() const { return m_pid; }
    bool isRunning() { return m_pid > 0 && !reap(false); }

    // Waits until standard output holds a whole line; false at the deadline
    // or when the program ended first.
    bool waitForLine(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!m_stdout.contains('\n')) {
            if (deadline.hasExpired() || !pump(int(deadline.remainingTime())))
                return m_stdout.contains('\n');
        }
        return true;
    }

    // Waits until standard output holds text `count` times; false at the
    // deadline or when the program ended first.
    bool waitForOutput(const QByteArray& text, int timeoutMs, qsizetype count = 1)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (m_stdout.count(text) < count) {
            if (deadline.hasExpired() || !pump(int(std::min<qint64>(deadline.remainingTime(), 100))))
                return m_stdout.count(text) >= count;
        }
        return true;
    }

    // The same for standard error.
    bool waitForErrorOutput(const QByteArray& text, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!m_stderr.contains(text)) {
            if (deadline.hasExpired() || !pump(int(std::min<qint64>(deadline.remainingTime(), 100))))
                return m_stderr.contains(text);
        }
        return true;
    }

    // Waits for the program to end, collecting its output; false at the
    // deadline.
    bool waitForFinished(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (pump(int(std::max<qint64>(deadline.remainingTime(), 0)))) {
            if (deadline.hasExpired())
                return reap(false);
        }
        return reap(true);
    }

    void signal(int number)
    {
        if (m_pid > 0 && !m_finished)
            ::kill(m_pid, number);
    }
    // SIGTERM, then SIGKILL when it has not ended within the time.
    void terminate(int graceMs = 5000)
    {
        signal(SIGTERM);
        if (!waitForFinished(graceMs))
            kill();
    }
    void kill()
    {
        if (m_pid <= 0)
            return;
        signal(SIGKILL);
        reap(true);
        closePipes();
    }

    int exitCode() const { return m_exitCode; }
    QByteArray takeStandardOutput() { return std::exchange(m_stdout, QByteArray()); }
    QByteArray takeStandardError() { return std::exchange(m_stderr, QByteArray()); }
    const QByteArray& standardOutput() const { return m_stdout; }
    const QByteArray& standardError() const { return m_stderr; }

private:
    // Reads what is there within the time; false once both pipes are closed.
    bool pump(int timeoutMs)
    {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (m_out < 0 && m_err < 0)
            return false;
        if (::poll(fds, 2, std::max(timeoutMs, 0)) <= 0)
            return true;
        drain(fds[0], m_out, m_stdout);
        drain(fds[1], m_err, m_stderr);
        return m_out >= 0 || m_err >= 0;
    }

    static void drain(const pollfd& polled, int& fd, QByteArray& into)
    {
        if (fd < 0 || !(polled.revents & (POLLIN | POLLHUP | POLLERR)))
            return;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, got);
        } else {
            ::close(fd);
            fd = -1;
        }
    }

    // True once the program has ended (and was waited for).
    bool reap(bool block)
    {
        if (m_finished)
            return true;
        if (m_pid <= 0)
            return false;
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
        if (done != m_pid)
            return false;
        m_finished = true;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }

    void closePipes()
    {
        if (m_out >= 0)
            ::close(m_out);
        if (m_err >= 0)
            ::close(m_err);
        m_out = m_err = -1;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_finished = false;
    int m_exitCode = -1;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
