#pragma once

// A link that stands for packs answering as a test scripts them, also in
// ways the simulated packs never do (an empty or short block, a code in
// place of an answer, silence). It writes down every request; the answer is
// the next queued one, else what respond makes of the request, else nothing
// (the pack is silent). The link may run on a polling thread: tests change
// the script under its mutex.

#include "protocol/devoper.h"
#include "protocol/link.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QMutexLocker>

#include <deque>
#include <functional>
#include <memory>
#include <utility>

struct LinkScript {
    QMutex mutex;
    QList<QByteArray> requests;
    std::deque<QByteArray> queued;
    std::function<QByteArray(const QByteArray& request)> respond;

    QList<QByteArray> takeRequests()
    {
        QMutexLocker locker(&mutex);
        return std::exchange(requests, {});
    }
};

class ScriptedLink final : public ILink {
public:
    explicit ScriptedLink(std::shared_ptr<LinkScript> script) : m_script(std::move(script)) {}
    bool open(QString*) override { return m_open = true; }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }

    QByteArray exchange(const QByteArray& request, std::chrono::milliseconds, int maxCharacters) override
    {
        if (!m_open)
            return {};
        QMutexLocker locker(&m_script->mutex);
        m_script->requests.append(request);
        QByteArray answer;
        if (!m_script->queued.empty()) {
            answer = m_script->queued.front();
            m_script->queued.pop_front();
        } else if (m_script->respond) {
            answer = m_script->respond(request);
        }
        return answer.left(maxCharacters);
    }

private:
    std::shared_ptr<LinkScript> m_script;
    bool m_open = false;
};

// Registers the script's link under the device name and opens it as the
// port number.
inline bool OpenScriptedLink(TDevOper& oper, const QString& device, const std::shared_ptr<LinkScript>& script,
                             std::uint8_t portNumber = 1)
{
    LinkRegistry::Register(device, [script](const LinkSettings&) { return std::make_unique<ScriptedLink>(script); });
    return oper.OpenLink(LinkSettings{device}, portNumber);
}
