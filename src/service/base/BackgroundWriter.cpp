#include "service/base/BackgroundWriter.h"

BackgroundWriter::BackgroundWriter() = default;

BackgroundWriter::~BackgroundWriter()
{
    finish();
}

void BackgroundWriter::postLatest(std::function<void()> job)
{
    {
        const std::lock_guard lock(m_mutex);
        if (!m_finishing) {
            // The thread starts with the first job: a service whose settings
            // are never saved keeps no thread (and no stack) for it.
            if (!m_thread.joinable())
                m_thread = std::thread([this] { run(); });
            m_waiting = std::move(job);
            m_wake.notify_one();
            return;
        }
    }
    job();
}

void BackgroundWriter::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_waiting || m_finishing; });
        if (!m_waiting)
            return; // finishing, nothing left
        std::function<void()> job = std::move(m_waiting);
        m_waiting = nullptr;
        lock.unlock();
        job();
        lock.lock();
    }
}
