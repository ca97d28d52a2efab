#include "platform/pivot/engine/ThreadPool.h"

namespace bd::pivot::engine {

ThreadPool& ThreadPool::instance() {
    static ThreadPool pool;
    return pool;
}

void ThreadPool::run(int count, int threads, void (*call)(void*, int), void* context) {
    static thread_local bool inside = false; // a task of the pool's own: run inline
    std::unique_lock<std::mutex> busy(busy_, std::defer_lock);
    if (inside || workers_.empty() || threads <= 1 || !busy.try_lock()) { // or another pivot holds it
        for (int i = 0; i < count; ++i)
            call(context, i);
        return;
    }
    inside = true;
    struct Leave {
        ~Leave() { inside = false; }
    } leave;
    auto job = std::make_shared<Job>();
    job->count = count;
    job->call = call;
    job->context = context;
    job->helpers = threads - 1;
    {
        std::lock_guard<std::mutex> lock(m_);
        job_ = job;
        ++generation_;
    }
    wake_.notify_all();
    work(*job);
    std::unique_lock<std::mutex> lock(job->m);
    job->finished.wait(lock, [&] { return job->done == job->count; });
}

void ThreadPool::work(Job& job) {
    int mine = 0;
    for (int i; (i = job.next.fetch_add(1)) < job.count; ++mine)
        job.call(job.context, i);
    if (!mine) return;
    std::lock_guard<std::mutex> lock(job.m);
    job.done += mine;
    if (job.done == job.count) job.finished.notify_all();
}

ThreadPool::ThreadPool() {
    const int workers = int(std::max(1u, std::thread::hardware_concurrency())) - 1;
    for (int t = 0; t < workers; ++t)
        workers_.emplace_back([this] { serve(); });
}

void ThreadPool::serve() {
    uint64_t seen = 0;
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(m_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            job = job_;
        }
        if (job && job->helpers.fetch_sub(1) > 0) work(*job);
    }
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    wake_.notify_all();
    for (auto& w : workers_)
        w.join();
}

} // namespace bd::pivot::engine
