#include "engine/WorkerPool.h"

#include "image/Platform.h"

namespace gridmint {

WorkerPool::WorkerPool(std::int32_t threads) : priority_(platform::threadPriority())
{
    for (std::int32_t i = 1; i < threads; ++i)
        workers_.emplace_back([this] { workerLoop(); });
}

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : workers_)
        t.join();
}

void WorkerPool::run(std::int32_t count, Call call, void* context)
{
    if (count <= 0)
        return;
    if (workers_.empty() || count == 1) {
        for (std::int32_t i = 0; i < count; ++i)
            call(context, i);
        return;
    }
    // The pool's threads work at the priority of the thread that hands them
    // the batch: a pool made by the window's thread and later lent to a
    // lowered background run must not compete with the window at normal
    // priority.
    const int priority = platform::threadPriority();
    std::unique_lock<std::mutex> lock(mutex_);
    priority_ = priority;
    ++batch_;
    next_ = 0;
    count_ = count;
    unfinished_ = count;
    call_ = call;
    context_ = context;
    wake_.notify_all();
    drain(lock);
    finished_.wait(lock, [this] { return unfinished_ == 0; });
    call_ = nullptr;
    context_ = nullptr;
}

void WorkerPool::drain(std::unique_lock<std::mutex>& lock)
{
    while (next_ < count_) {
        const std::int32_t task = next_++;
        const Call call = call_;
        void* context = context_;
        lock.unlock();
        call(context, task);
        lock.lock();
        if (--unfinished_ == 0)
            finished_.notify_all();
    }
}

void WorkerPool::workerLoop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::uint64_t seen = 0;
    int mine = platform::threadPriority();
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || batch_ != seen; });
        if (stopping_)
            return;
        seen = batch_;
        if (priority_ != mine) {
            // Tried once per change: Linux keeps an unprivileged thread
            // from coming back up, and then it stays lower.
            mine = priority_;
            (void)platform::setThreadPriority(mine);
        }
        drain(lock);
    }
}

} // namespace gridmint
