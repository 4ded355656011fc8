#include "outputs/sample_fanout.h"

#include <algorithm>

void PackSampleFanOut::Add(IPackSampleSink* sink)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    if (sink && std::find(m_sinks.begin(), m_sinks.end(), sink) == m_sinks.end())
        m_sinks.push_back(sink);
}

void PackSampleFanOut::Remove(IPackSampleSink* sink)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), sink), m_sinks.end());
}

bool PackSampleFanOut::Empty() const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_sinks.empty();
}

// The lock is held while the outputs run, so that Remove waits for a call
// under way; the outputs only copy and return.
void PackSampleFanOut::PackSampled(const RPackSample& sample)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    for (IPackSampleSink* sink : m_sinks)
        sink->PackSampled(sample);
}
