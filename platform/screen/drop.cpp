#include "drop.h"

#include <deque>
#include <mutex>

namespace platform::screen {

namespace {

struct DropQueue {
    std::mutex lock;
    FileDropReceiver receiver;  // guarded by lock
    std::deque<FileDrop> kept;  // guarded by lock; drops that arrived before any receiver
};

DropQueue& Queue()
{
    static DropQueue* queue = new DropQueue;  // lives until the process ends
    return *queue;
}

}  // namespace

void DeliverFileDrop(FileDrop drop)
{
    if (drop.files.empty())
        return;
    DropQueue& q = Queue();
    std::lock_guard<std::mutex> guard(q.lock);
    if (q.receiver)
        q.receiver(drop);
    else
        q.kept.push_back(std::move(drop));
}

void SetFileDropReceiver(FileDropReceiver receiver)
{
    DropQueue& q = Queue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.receiver = std::move(receiver);
    if (!q.receiver)
        return;
    while (!q.kept.empty()) {
        FileDrop drop = std::move(q.kept.front());
        q.kept.pop_front();
        q.receiver(drop);
    }
}

}  // namespace platform::screen
