#pragma once

#include <QtGlobal>
#include <atomic>
#include <thread>
#include <vector>

// A program on the service's port that takes every connection and then neither
// reads nor answers nor closes, until it is stopped: what a hung service looks
// like from the window. It accepts on a thread of its own, so the window's
// blocking client can wait on it from the test's thread.
class SilentListener
{
public:
    // Listens on a free port, or on the given one (isListening() tells whether it could).
    explicit SilentListener(quint16 port = 0);
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    quint16 port() const { return m_port; }
    bool isListening() const { return m_listener >= 0; }
    // How many connections it has taken so far.
    int connections() const { return m_connections; }
    // Closes the port and every connection it holds.
    void stop();

private:
    void run();

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    std::vector<int> m_held;
    std::thread m_thread;
};
