#include "host/CancelSignals.h"

#include <atomic>
#include <cassert>

#include "platform/max/Interface.h"

namespace tarvo::hostapp {

namespace {

constexpr std::array<int, 3> kCancelSignals = {SIGINT, SIGTERM, SIGHUP};

// Written by the handler, so lock-free atomics only.
std::atomic<int> g_receivedSignal{0};
std::atomic<Interface*> g_cancelTarget{nullptr};
std::atomic<bool> g_installed{false};

static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<Interface*>::is_always_lock_free);

extern "C" void RecordCancelSignal(int signal) {
    int none = 0;
    // The first signal names the cancel; a later one of another kind changes nothing.
    g_receivedSignal.compare_exchange_strong(none, signal);
    if (Interface* ip = g_cancelTarget.load()) ip->SetCancel(TRUE);
}

sigset_t CancelSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kCancelSignals) sigaddset(&set, signal);
    return set;
}

}  // namespace

CancelSignals::CancelSignals() {
    [[maybe_unused]] const bool wasInstalled = g_installed.exchange(true);
    assert(!wasInstalled && "one CancelSignals at a time");
    g_receivedSignal.store(0);
    struct sigaction action {};
    action.sa_handler = RecordCancelSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESETHAND: the second signal of a kind finds the default action back in place.
    // SA_RESTART: reading the scene or writing a file goes on after the handler.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (std::size_t i = 0; i < kCancelSignals.size(); ++i)
        sigaction(kCancelSignals[i], &action, &m_previous[i]);
}

CancelSignals::~CancelSignals() {
    Detach();
    for (std::size_t i = 0; i < kCancelSignals.size(); ++i)
        sigaction(kCancelSignals[i], &m_previous[i], nullptr);
    g_installed.store(false);
}

int CancelSignals::Received() const {
    return g_receivedSignal.load();
}

void CancelSignals::Attach(Interface& ip) {
    // The target first: a signal from here on reaches it through the handler, and one that
    // came earlier is seen below.
    g_cancelTarget.store(&ip);
    if (Received() != 0) ip.SetCancel(TRUE);
}

void CancelSignals::Detach() {
    g_cancelTarget.store(nullptr);
}

CancelSignals::Deferral::Deferral() {
    const sigset_t set = CancelSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, &m_previous);
}

CancelSignals::Deferral::~Deferral() {
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

}  // namespace tarvo::hostapp
