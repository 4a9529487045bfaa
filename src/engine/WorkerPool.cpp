#include "engine/WorkerPool.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace gridmint {

namespace {

// The pool's threads work at their owner's priority, so that a program that
// runs the engine on a lowered background thread (to keep its window
// responsive) lowers the helpers too. POSIX threads inherit the creating
// thread's nice value by themselves; Windows threads start at normal.
#ifdef _WIN32
int ownerPriority()
{
    return GetThreadPriority(GetCurrentThread());
}

void takePriority(int priority)
{
    if (priority != THREAD_PRIORITY_ERROR_RETURN)
        SetThreadPriority(GetCurrentThread(), priority);
}
#else
int ownerPriority()
{
    return 0;
}

void takePriority(int) {}
#endif

} // namespace

WorkerPool::WorkerPool(std::int32_t threads)
{
    const int priority = ownerPriority();
    for (std::int32_t i = 1; i < threads; ++i) {
        workers_.emplace_back([this, priority] {
            takePriority(priority);
            workerLoop();
        });
    }
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
    std::unique_lock<std::mutex> lock(mutex_);
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
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || batch_ != seen; });
        if (stopping_)
            return;
        seen = batch_;
        drain(lock);
    }
}

} // namespace gridmint
