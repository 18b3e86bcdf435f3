#include "WorkerPool.h"

#include <algorithm>

WorkerPool::WorkerPool(int threads) {
    SetThreads(threads);
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void WorkerPool::SetThreads(int threads) {
    most_ = threads > 0 ? threads : std::max(1, int(std::thread::hardware_concurrency()));
}

void WorkerPool::Start(std::function<void()> work) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Take(std::move(work));
}

bool WorkerPool::TryStart(std::function<void()> work) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ >= most_)
        return false;
    Take(std::move(work));
    return true;
}

// With the lock held.
void WorkerPool::Take(std::function<void()> work) {
    queue_.push_back(std::move(work));
    ++busy_;
    // Each waiting thread takes one piece of work; more work than that
    // wants another thread.
    if (int(queue_.size()) > idle_ && int(threads_.size()) < most_)
        threads_.emplace_back([this] { Serve(); });
    work_.notify_one();
}

void WorkerPool::WaitForDone() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return busy_ == 0; });
}

int WorkerPool::Busy() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
}

void WorkerPool::Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        --idle_;
        if (queue_.empty())
            return;
        std::function<void()> work = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
        if (--busy_ == 0)
            done_.notify_all();
    }
}
