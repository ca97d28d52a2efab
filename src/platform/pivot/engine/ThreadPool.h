#pragma once
// The engine's threads, kept for the life of the program, and parallelFor over them.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace bd::pivot::engine {

// The caller takes tasks too and waits only for the tasks, never for a worker to wake: on a busy
// machine a worker that gets no core finds nothing left to do, so a pivot is not held up by threads it
// cannot run, nor by starting threads for every pass. One pivot at a time uses the workers; a second
// one, or a task of the pool's own that asks for more, runs its tasks on its own thread.
class ThreadPool {
public:
    static ThreadPool& instance();
    // The workers and the caller.
    int size() const { return int(workers_.size()) + 1; }
    // Runs call(context, 0..count-1), each once, on up to `threads` threads (the caller's included).
    void run(int count, int threads, void (*call)(void*, int), void* context);

private:
    struct Job {
        std::atomic<int> next{0}, helpers{0};
        int count = 0, done = 0;
        void (*call)(void*, int) = nullptr;
        void* context = nullptr;
        std::mutex m;
        std::condition_variable finished;
    };
    static void work(Job& job);
    ThreadPool();
    ~ThreadPool();
    void serve();

    std::vector<std::thread> workers_;
    std::mutex busy_, m_;
    std::condition_variable wake_;
    std::shared_ptr<Job> job_;
    uint64_t generation_ = 0;
    bool stop_ = false;
};

// Runs task(0..tasks-1), each once, on up to `threads` threads (0: one per task).
template <class F> void parallelFor(int threads, int tasks, F&& task) {
    if (tasks <= 1) {
        if (tasks == 1) task(0);
        return;
    }
    using Fn = std::remove_reference_t<F>;
    ThreadPool::instance().run(
        tasks, threads > 0 ? std::min(threads, tasks) : tasks,
        [](void* context, int i) { (*static_cast<Fn*>(context))(i); }, static_cast<void*>(&task));
}

} // namespace bd::pivot::engine
