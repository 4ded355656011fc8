#include "store/running_jobs.h"

#include <utility>
#include <vector>

namespace RunningJobs {
namespace {

struct Listed {
    const void* owner = nullptr;
    Entry entry;
};

std::vector<Listed>& List()
{
    static std::vector<Listed> list;
    return list;
}

} // namespace

void Add(const void* owner, Entry entry)
{
    Remove(owner);
    List().push_back({owner, std::move(entry)});
}

void Remove(const void* owner)
{
    std::vector<Listed>& list = List();
    std::erase_if(list, [owner](const Listed& listed) { return listed.owner == owner; });
}

namespace {

// Every job is told first, so that none goes on to its next pack while an
// earlier one is waited for; then each is waited for in turn.
void TellThenWait(std::function<void()> Entry::*tell)
{
    // A copy: a job's wait may end its owner, which then removes itself.
    // Owners stay listed until they go; a second call finds them idle.
    const std::vector<Listed> jobs = List();
    for (const Listed& listed : jobs)
        if (listed.entry.*tell)
            (listed.entry.*tell)();
    for (const Listed& listed : jobs)
        if (listed.entry.wait)
            listed.entry.wait();
}

} // namespace

void StopAll()
{
    TellThenWait(&Entry::cancel);
}

void InterruptAll()
{
    TellThenWait(&Entry::interrupt);
}

int Count()
{
    return int(List().size());
}

} // namespace RunningJobs
