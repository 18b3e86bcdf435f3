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
