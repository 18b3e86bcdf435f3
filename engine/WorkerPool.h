#pragma once

// Threads that run work handed to them, in the order it is handed, on
// standard threads and locks (which the thread sanitizer sees through).
// The threads start when work first needs them and end with the pool.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    // threads: how many at most; 0 for one a core.
    explicit WorkerPool(int threads = 0);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Before any work is started.
    void SetThreads(int threads);
    int Threads() const { return most_; }
    // Runs work as soon as a thread is free.
    void Start(std::function<void()> work);
    // Runs work only if a thread can take it now; false when all are busy.
    bool TryStart(std::function<void()> work);
    // Returns once all the work started has been done.
    void WaitForDone();
    // Work running or waiting for a thread.
    int Busy();

private:
    void Take(std::function<void()> work);
    void Serve();

    int most_ = 1;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::function<void()>> queue_;
    std::vector<std::thread> threads_;
    int busy_ = 0; // running, or waiting in the queue
    int idle_ = 0; // threads waiting for work
    bool stopping_ = false;
};

// A count of free places that threads take and give back, on a lock and a
// condition variable (the standard semaphores of some libraries, MinGW's
// among them, can miss a wake-up).
class Semaphore {
public:
    explicit Semaphore(int free) : free_(free) {}
    void Acquire() {
        std::unique_lock<std::mutex> lock(mutex_);
        given_.wait(lock, [this] { return free_ > 0; });
        --free_;
    }
    // Told with the lock held: once it is let go, the taker may end this
    // object.
    void Release() {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++free_;
        given_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable given_;
    int free_;
};

// Work started on a pool whose results are taken in the order the work was
// started, by one taker: each piece of work gives any number of results as
// it goes, and the oldest piece not yet taken hands its results on as they
// come, the later ones waiting until it is done.
template <typename Result> class InOrder {
public:
    using Give = std::function<void(Result&&)>;
    explicit InOrder(WorkerPool& pool) : pool_(pool) {}
    ~InOrder() { WaitAll(); }
    InOrder(const InOrder&) = delete;
    InOrder& operator=(const InOrder&) = delete;

    void Start(std::function<void(const Give& give)> work) {
        Item* item = nullptr;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            // A deque's elements stay where they are as it grows.
            item = &items_.emplace_back();
        }
        pool_.Start([this, item, work = std::move(work)] {
            work([this, item](Result&& result) {
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    item->given.push_back(std::move(result));
                }
                changed_.notify_all();
            });
            // Told with the lock held: once it is let go, the taker may end
            // this object.
            const std::lock_guard<std::mutex> lock(mutex_);
            item->done = true;
            changed_.notify_all();
        });
    }

    // Hands the results of the oldest work not yet taken to take as they
    // come, until that work is done; false when there is none.
    bool TakeNext(const std::function<void(Result&)>& take) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (items_.empty())
            return false;
        Item& item = items_.front();
        for (;;) {
            changed_.wait(lock, [&item] { return item.done || !item.given.empty(); });
            std::deque<Result> ready = std::move(item.given);
            item.given.clear();
            const bool done = item.done;
            lock.unlock();
            for (Result& result : ready)
                take(result);
            lock.lock();
            if (done && item.given.empty())
                break;
        }
        items_.pop_front();
        return true;
    }

    // Returns once all the work started is done; its results wait to be
    // taken.
    void WaitAll() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] {
            for (const Item& item : items_)
                if (!item.done)
                    return false;
            return true;
        });
    }

private:
    struct Item {
        std::deque<Result> given;
        bool done = false;
    };
    WorkerPool& pool_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_; // from the oldest not yet taken
};
