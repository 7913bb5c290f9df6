// A "run on the owning thread" queue for tests of code that hands work to a
// UI thread: other threads post functions, the test thread runs them while
// it waits for a condition.
#pragma once

#include <chrono>
#include <condition_variable>
#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/Window.h"

namespace testsupport {

class QueueDispatcher {
public:
    // The dispatcher to give a window; it posts into this queue.
    platform::WindowDispatcher Dispatcher()
    {
        return [this](std::function<void()> fn) { Post(std::move(fn)); };
    }

    void Post(std::function<void()> fn)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(std::move(fn));
        }
        m_cv.notify_all();
    }

    // Runs posted functions on the calling thread until `done` holds or
    // `timeoutMs` has passed; returns whether `done` held.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (done())
                return true;
            std::function<void()> fn;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                // Conditions set by other threads post nothing: look again
                // every few milliseconds.
                auto slice = std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
                if (!m_cv.wait_until(lock, slice, [this] { return !m_queue.empty(); })) {
                    if (std::chrono::steady_clock::now() >= end)
                        return done();
                    continue;
                }
                fn = std::move(m_queue.front());
                m_queue.pop_front();
            }
            fn();
        }
    }

    // Runs whatever arrives for `ms` milliseconds.
    void PumpFor(int ms)
    {
        PumpUntil([] { return false; }, ms);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_queue;
};

} // namespace testsupport
