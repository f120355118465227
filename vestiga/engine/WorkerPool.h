#pragma once
// A small persistent pool of worker threads for the filters' per-particle
// loops. The index range of a loop is cut into fixed chunks (the same cuts for
// the same range, whatever the number of threads); the calling thread and the
// workers take chunks in turn until none is left, and the call returns when
// every chunk is done. Whichever thread runs a chunk, the chunk computes the
// same values, so a loop whose iterations are independent gives the same
// results on 1 or n threads; a busy worker never holds the caller back for
// more than the chunk it is running.
//
// Threads are started by the constructor and joined by the destructor. One
// loop runs at a time: `parallelFor` is called from one thread only (the
// tracker's), never from inside a chunk.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace vestiga {

class Suivi2D;

// Threads a new tracker weighs its particles on: 2, or 1 on a machine with
// a single core (where a second thread could only wait for the first).
int defaultTrackerThreads();

class WorkerPool {
public:
    // Chunk body: the half-open index range [begin, end) and the slot of the
    // thread running it, 0 .. threads() - 1 (0 is the calling thread), for work
    // space that must not be shared between threads.
    using ChunkFn = void (*)(void* context, int begin, int end, int slot);

    // `threads` threads in all, the caller included: threads - 1 workers are
    // started (none for 1 or less).
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int threads() const { return static_cast<int>(workers_.size()) + 1; }

    // Runs body over 0 .. n-1 in chunks of `grain` indices (the last may be
    // shorter) and returns when all are done; an exception thrown by a chunk
    // reaches the caller once all chunks have run. With one thread, or n no larger
    // than one chunk, the body runs once over the whole range on the calling
    // thread.
    template <class Body>
    void parallelFor(int n, int grain, Body&& body)
    {
        using B = std::remove_reference_t<Body>;
        run(n, grain, [](void* c, int b, int e, int s) { (*static_cast<B*>(c))(b, e, s); },
            const_cast<void*>(static_cast<const void*>(&body)));
    }

private:
    struct Job {
        ChunkFn fn = nullptr;
        void* context = nullptr;
        int n = 0;
        int grain = 1;
        int chunks = 0;
    };

    void run(int n, int grain, ChunkFn fn, void* context);
    // Takes and runs chunks of `job` until none is left.
    void runChunks(const Job& job, int slot);
    void workerLoop(int slot);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_; // a job was posted, or stop
    std::condition_variable idle_; // a worker left a job
    Job job_;                      // guarded by mutex_
    uint64_t generation_ = 0;      // guarded by mutex_; one more per job
    int busy_ = 0;                 // guarded by mutex_; workers inside a job
    bool stop_ = false;            // guarded by mutex_
    std::atomic<int> nextChunk_{0};
    std::mutex errorMutex_;
    std::exception_ptr error_; // guarded by errorMutex_; first exception of a job
    // Copies of generation_ and busy_ that a thread may watch without the
    // lock for a short while before it goes to sleep: the filters post their
    // loops in quick succession, and waking a sleeping thread costs more
    // than a short loop.
    std::atomic<uint64_t> postedGeneration_{0};
    std::atomic<int> busyWorkers_{0};
};

// Number of threads the tracker's filters weigh their particles on (default
// defaultTrackerThreads(); 1 runs everything on the calling thread). Call after buildPartFilter;
// later calls of buildPartFilter keep the setting. Results do not depend on
// it. Returns 0 before buildPartFilter, else 1.
int setTrackerThreads(Suivi2D& tracker, int threads);
// The tracker's current setting (the default before buildPartFilter).
int trackerThreads(const Suivi2D& tracker);

} // namespace vestiga
