#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Writes files on a thread of its own, so that the thread that answers the
// window never waits for a disk. Only the latest job counts: one posted while
// another still waits replaces it (a newer copy of a file makes the older
// one's write pointless). Jobs report their own failures.
class BackgroundWriter
{
public:
    BackgroundWriter();
    ~BackgroundWriter(); // finish()
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    void postLatest(std::function<void()> job);

    // Runs the job still waiting, then ends the thread; later posts run at
    // once on the caller's thread.
    void finish();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_waiting;
    bool m_finishing = false;
    std::thread m_thread;
};
