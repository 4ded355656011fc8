#pragma once

#include "store/pack_sample.h"

#include <mutex>
#include <vector>

// Hands each pack's turn to every output attached, in the order attached.
// Outputs may be attached and removed from any thread while the polling
// thread samples; an output removed is no longer called once Remove returns.
class PackSampleFanOut final : public IPackSampleSink {
public:
    void Add(IPackSampleSink* sink);
    void Remove(IPackSampleSink* sink);
    bool Empty() const;
    void PackSampled(const RPackSample& sample) override;

private:
    mutable std::mutex m_lock;
    std::vector<IPackSampleSink*> m_sinks;   // guarded by m_lock
};
