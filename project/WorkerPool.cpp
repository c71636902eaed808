#include "project/WorkerPool.h"

#include <algorithm>
#include <utility>

namespace quorvalis
{

GWorkerPool::GWorkerPool(int threads)
{
    const int workers = std::max(threads, 1) - 1;
    workers_.reserve(static_cast<std::size_t>(workers));
    for (int slot = 0; slot < workers; ++slot)
        workers_.emplace_back([this, slot] { WorkerLoop(slot); });
}

GWorkerPool::~GWorkerPool()
{
    try
    {
        Wait();
    }
    catch (...)
    {
        // A failure nobody asked for any more; the workers still have to be stopped.
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

int GWorkerPool::HardwareThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min(cores, 1024u));
}

void GWorkerPool::Start(Job job, std::int32_t count)
{
    Wait();
    {
        const std::lock_guard lock(mutex_);
        job_ = std::move(job);
        count_ = std::max<std::int32_t>(count, 0);
        next_ = 0;
        finished_ = 0;
        failedChunk_ = -1;
        failure_ = nullptr;
        running_ = true;
        ++generation_;
    }
    if (!workers_.empty())
        wake_.notify_all();
}

void GWorkerPool::Wait()
{
    std::exception_ptr failure;
    {
        std::unique_lock lock(mutex_);
        if (!running_)
            return;
        lock.unlock();
        RunChunks(Threads() - 1);
        lock.lock();
        done_.wait(lock, [this] { return finished_ == count_; });
        running_ = false;
        job_ = nullptr;
        failure = std::exchange(failure_, nullptr);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void GWorkerPool::RunChunks(int slot)
{
    std::unique_lock lock(mutex_);
    while (running_ && next_ < count_)
    {
        const std::int32_t chunk = next_++;
        lock.unlock();
        std::exception_ptr failure;
        try
        {
            job_(chunk, slot);
        }
        catch (...)
        {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure && (failedChunk_ < 0 || chunk < failedChunk_))
        {
            failedChunk_ = chunk;
            failure_ = failure;
        }
        if (++finished_ == count_)
            done_.notify_all();
    }
}

void GWorkerPool::WorkerLoop(int slot)
{
    std::uint64_t seen = 0;
    for (;;)
    {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_)
                return;
            seen = generation_;
        }
        RunChunks(slot);
    }
}

} // namespace quorvalis
