// A few threads that one owner keeps for the whole of its life and hands
// batches of numbered tasks to. Internal to the engine.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace gridmint {

class WorkerPool {
public:
    // `threads` >= 1 counts the calling thread: a pool of 1 starts none.
    // The threads take the priority of whichever thread hands them a batch.
    explicit WorkerPool(std::int32_t threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::int32_t size() const { return static_cast<std::int32_t>(workers_.size()) + 1; }

    // Calls fn(i) once for every i in [0, count), on the calling thread and
    // the pool's, and returns when all calls have returned. Calls must not
    // throw. Allocates nothing.
    template <class Fn> void forEach(std::int32_t count, Fn& fn)
    {
        run(
            count, [](void* f, std::int32_t i) { (*static_cast<Fn*>(f))(i); }, &fn);
    }

private:
    using Call = void (*)(void*, std::int32_t);
    void run(std::int32_t count, Call call, void* context);
    // Takes and does tasks of the current batch until none is left. Called
    // with the lock held; returns with it held.
    void drain(std::unique_lock<std::mutex>& lock);
    void workerLoop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::vector<std::thread> workers_;
    std::uint64_t batch_ = 0; // counts batches, so that workers see a new one
    std::int32_t next_ = 0;   // next task of the batch to hand out
    std::int32_t count_ = 0;  // tasks in the batch
    std::int32_t unfinished_ = 0;
    Call call_ = nullptr;
    void* context_ = nullptr;
    int priority_ = 0; // of the thread that handed out the batch
    bool stopping_ = false;
};

} // namespace gridmint
