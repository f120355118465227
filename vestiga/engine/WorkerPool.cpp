#include "engine/WorkerPool.h"

#include <chrono>

namespace vestiga {

namespace {

// How long a thread watches for the next job, or for the workers to finish,
// before it sleeps on a condition variable.
constexpr std::chrono::microseconds kSpin(50);

// Calls done() until it answers true or kSpin has passed; answers done().
template <class Done>
bool spinUntil(Done done)
{
    const auto until = std::chrono::steady_clock::now() + kSpin;
    for (;;) {
        for (int k = 0; k < 64; ++k)
            if (done())
                return true;
        if (std::chrono::steady_clock::now() >= until)
            return done();
        std::this_thread::yield();
    }
}

} // namespace

int defaultTrackerThreads()
{
    return std::thread::hardware_concurrency() == 1 ? 1 : 2;
}

WorkerPool::WorkerPool(int threads)
{
    const int n = threads > 1 ? threads - 1 : 0;
    workers_.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        workers_.emplace_back([this, k] { workerLoop(k + 1); });
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        t.join();
}

void WorkerPool::run(int n, int grain, ChunkFn fn, void* context)
{
    if (n <= 0)
        return;
    if (grain < 1)
        grain = 1;
    if (workers_.empty() || n <= grain) {
        fn(context, 0, n, 0);
        return;
    }
    Job job;
    job.fn = fn;
    job.context = context;
    job.n = n;
    job.grain = grain;
    job.chunks = (n + grain - 1) / grain;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // A worker that woke too late for the previous job may still be
        // looking at its chunk counter: let it leave before the counter is
        // reset for this job.
        idle_.wait(lock, [this] { return busy_ == 0; });
        job_ = job;
        nextChunk_.store(0, std::memory_order_relaxed);
        ++generation_;
        postedGeneration_.store(generation_, std::memory_order_release);
    }
    wake_.notify_all();
    runChunks(job, 0);
    // Every chunk is taken; wait for the workers still running theirs. A
    // worker that registers after this point finds no chunk left.
    spinUntil([this] { return busyWorkers_.load(std::memory_order_acquire) == 0; });
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return busy_ == 0; });
    job_ = Job(); // the body lives on the caller's stack: forget it
    // A chunk that threw on any thread: the caller sees the first exception,
    // as it would have on one thread (the other chunks have still run).
    if (error_) {
        std::exception_ptr e = error_;
        error_ = nullptr;
        std::rethrow_exception(e);
    }
}

void WorkerPool::runChunks(const Job& job, int slot)
{
    for (;;) {
        const int c = nextChunk_.fetch_add(1, std::memory_order_relaxed);
        if (c >= job.chunks)
            return;
        const int begin = c * job.grain;
        const int end = job.n - begin < job.grain ? job.n : begin + job.grain;
        try {
            job.fn(job.context, begin, end, slot);
        } catch (...) {
            std::lock_guard<std::mutex> lock(errorMutex_);
            if (!error_)
                error_ = std::current_exception();
        }
    }
}

void WorkerPool::workerLoop(int slot)
{
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (!stop_ && generation_ == seen) {
            lock.unlock();
            spinUntil([&] { return postedGeneration_.load(std::memory_order_acquire) != seen; });
            lock.lock();
        }
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_)
            return;
        seen = generation_;
        const Job job = job_;
        ++busy_;
        busyWorkers_.fetch_add(1, std::memory_order_relaxed);
        lock.unlock();
        runChunks(job, slot);
        lock.lock();
        busyWorkers_.fetch_sub(1, std::memory_order_release);
        if (--busy_ == 0)
            idle_.notify_all();
    }
}

} // namespace vestiga
