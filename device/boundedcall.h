#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace vorkast {

// Runs blocking calls on a thread of its own and waits for each only so long.
//
// Linux's hidraw feature ioctls wait for the kernel's own control-transfer
// time-out (5 s) and cannot be cancelled or given a shorter one; under wine a
// HID DeviceIoControl returns only once the driver has answered, overlapped or
// not. Either way a wedged controller would stall the window for longer than
// a transfer may take. A call that overruns is left to finish on the thread; its result is
// dropped, and the next call waits for it within its own time budget.
//
// Calls take no references to the caller's data: they must own what they use.
class BoundedCaller
{
public:
    BoundedCaller();
    // Waits for a call still running (the kernel ends it within its time-out).
    ~BoundedCaller();
    BoundedCaller(const BoundedCaller &) = delete;
    BoundedCaller &operator=(const BoundedCaller &) = delete;

    // The result of `call`, or nothing when it did not finish within `timeout`
    // (counted from now, including the wait for an earlier overrunning call).
    std::optional<int> run(std::function<int()> call, std::chrono::milliseconds timeout);

private:
    struct Job
    {
        std::function<int()> call;
        std::optional<int> result;
    };

    void serve();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::shared_ptr<Job> m_job;  // queued or running; null when idle
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;  // last: started once the rest is set up
};

} // namespace vorkast
