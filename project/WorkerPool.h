// A fixed set of worker threads that share out the chunks of one job at a time.
//
// The thread that owns the pool starts a job over a number of chunks and goes on with its own
// work (reading the next records, say) while the workers take chunks; Wait then has it take the
// chunks still left and returns when every chunk is done. Chunks are handed out in index order,
// each to exactly one thread, which runs it with its slot number: 0 .. Threads() - 2 for the
// workers, Threads() - 1 for the owner, so per-thread scratch can be indexed by slot. A pool of
// one thread has no workers: the owner runs every chunk itself in Wait, in order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvalis
{

class GWorkerPool
{
public:
    /// Threads taking part, the owner included: at least 1 (a smaller value counts as 1).
    explicit GWorkerPool(int threads);
    /// Waits for a job still running, then stops and joins the workers.
    ~GWorkerPool();
    GWorkerPool(const GWorkerPool&) = delete;
    GWorkerPool& operator=(const GWorkerPool&) = delete;

    int Threads() const { return static_cast<int>(workers_.size()) + 1; }

    /// The chunk work of a job: job(chunk, slot). It should not throw; if it does, the exception
    /// of the lowest such chunk is raised again by Wait once all chunks are done.
    using Job = std::function<void(std::int32_t chunk, int slot)>;
    /// Starts job over chunks 0 .. count - 1 on the workers and returns at once; the pool keeps
    /// job until Wait returns. Waits first for a job still running.
    void Start(Job job, std::int32_t count);
    /// Takes the chunks not yet started on this thread, waits until every chunk of the job is
    /// done, and forgets the job. Does nothing without a job.
    void Wait();

    /// One thread per core, std::thread::hardware_concurrency() (1 when it cannot tell).
    static int HardwareThreads();

private:
    void WorkerLoop(int slot);
    // Runs chunks of the current job until none is left to start.
    void RunChunks(int slot);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_; // a job started, or the pool stops
    std::condition_variable done_; // the last chunk of the job finished
    Job job_;
    std::int32_t count_ = 0;
    std::int32_t next_ = 0;     // next chunk to hand out
    std::int32_t finished_ = 0; // chunks done
    std::uint64_t generation_ = 0;
    bool running_ = false;
    bool stopping_ = false;
    std::int32_t failedChunk_ = -1;
    std::exception_ptr failure_;
};

} // namespace quorvalis
