#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One thread that does the slow part of autosaving (packing, compressing, writing), off the
// interface thread and off the audio thread, in the order it was asked: a removal asked for
// after a write happens after that write.
class Autosave_Worker {
public:
    Autosave_Worker() = default;
    // Finishes everything asked for first: a song closed just before the program ends still has
    // its autosave removed.
    ~Autosave_Worker();
    Autosave_Worker(const Autosave_Worker&) = delete;
    Autosave_Worker& operator=(const Autosave_Worker&) = delete;

    // The job runs on the worker, and is destroyed there (a snapshot is freed off the interface).
    void post(std::function<void()> job);
    // Returns once everything asked for so far is done.
    void wait_idle();

private:
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> jobs;
    bool busy = false;
    bool stopping = false;
    std::thread thread;  // started with the first job
};
