#include "tracker/autosave_worker.h"

Autosave_Worker::~Autosave_Worker() {
    {
        std::lock_guard<std::mutex> hold(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
}

void Autosave_Worker::post(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> hold(mutex);
        jobs.push_back(std::move(job));
        if (!thread.joinable()) thread = std::thread(&Autosave_Worker::run, this);
    }
    wake.notify_one();
}

void Autosave_Worker::wait_idle() {
    std::unique_lock<std::mutex> hold(mutex);
    idle.wait(hold, [this] { return jobs.empty() && !busy; });
}

void Autosave_Worker::run() {
    std::unique_lock<std::mutex> hold(mutex);
    for (;;) {
        wake.wait(hold, [this] { return stopping || !jobs.empty(); });
        if (jobs.empty()) return;  // stopping, and nothing left to do
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        busy = true;
        hold.unlock();
        job();
        job = nullptr;
        hold.lock();
        busy = false;
        if (jobs.empty()) idle.notify_all();
    }
}
