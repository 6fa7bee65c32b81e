#include "boundedcall.h"

namespace vorkast {

BoundedCaller::BoundedCaller()
    : m_thread([this] { serve(); })
{
}

BoundedCaller::~BoundedCaller()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

std::optional<int> BoundedCaller::run(std::function<int()> call, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_until(lock, deadline, [this] { return !m_job; }))
        return std::nullopt;  // an earlier call still overruns
    auto job = std::make_shared<Job>();
    job->call = std::move(call);
    m_job = job;
    m_changed.notify_all();
    if (!m_changed.wait_until(lock, deadline, [&] { return job->result.has_value(); })) {
        if (!m_running && m_job == job)
            m_job.reset();  // never started: nothing will run late
        return std::nullopt;
    }
    return job->result;
}

void BoundedCaller::serve()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || (m_job && !m_running); });
        if (m_stopping)
            return;
        const std::shared_ptr<Job> job = m_job;
        m_running = true;
        lock.unlock();
        const int result = job->call();
        lock.lock();
        job->result = result;
        m_running = false;
        m_job.reset();
        m_changed.notify_all();
    }
}

} // namespace vorkast
