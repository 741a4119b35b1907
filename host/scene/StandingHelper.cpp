#include "host/scene/StandingHelper.h"

#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tarvo::scenefile {

StandingHelper::~StandingHelper() {
    if (!m_thread.joinable()) return;
    SetState(kStopping);
    m_thread.join();
}

void StandingHelper::Start() {
    if (!m_thread.joinable()) m_thread = std::thread([this] { Serve(); });
}

void StandingHelper::SetState(State state) {
    m_state.store(state, std::memory_order_release);
    // Taken between the store and the notice, so that a side that found the old state under
    // the lock is asleep by the time of the notice, not just about to sleep.
    { std::lock_guard<std::mutex> lock(m_mutex); }
    m_changed.notify_all();
}

template <typename Ready>
StandingHelper::State StandingHelper::AwaitState(Ready ready) {
    const auto spinUntil = std::chrono::steady_clock::now() + m_spin;
    for (;;) {
        const State state = m_state.load(std::memory_order_acquire);
        if (ready(state)) return state;
        if (std::chrono::steady_clock::now() >= spinUntil) break;
#ifdef __SSE2__
        _mm_pause();  // lets the other hardware thread of the core run meanwhile
#endif
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    State state = m_state.load(std::memory_order_acquire);
    while (!ready(state)) {
        m_changed.wait(lock);
        state = m_state.load(std::memory_order_acquire);
    }
    return state;
}

void StandingHelper::Serve() {
    for (;;) {
        const State state = AwaitState([](State s) { return s == kGiven || s == kStopping; });
        if (state == kStopping) return;
        try {
            m_work();
        } catch (...) {
            m_failure = std::current_exception();
        }
        SetState(kDone);
    }
}

std::exception_ptr StandingHelper::Collect() {
    AwaitState([](State s) { return s == kDone; });
    std::exception_ptr failure = std::exchange(m_failure, nullptr);
    m_work = nullptr;
    // Only this side gives tasks, and the helper's thread waits for kGiven or kStopping.
    m_state.store(kIdle, std::memory_order_relaxed);
    return failure;
}

StandingHelper::Task::Task(StandingHelper& helper, std::function<void()> work) : m_helper(helper) {
    m_helper.Start();
    m_helper.m_work = std::move(work);
    m_helper.SetState(kGiven);
}

StandingHelper::Task::~Task() {
    // A failure here is the caller's to see only through Get; on any other way out the
    // caller is already leaving with a failure of its own.
    if (!m_collected) static_cast<void>(m_helper.Collect());
}

void StandingHelper::Task::Get() {
    m_collected = true;
    if (std::exception_ptr failure = m_helper.Collect()) std::rethrow_exception(failure);
}

}  // namespace tarvo::scenefile
