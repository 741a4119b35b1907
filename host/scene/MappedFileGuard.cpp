#include "host/scene/MappedFileGuard.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace tarvo::scenefile {
namespace {

// One guarded range. The handler may run at any moment, so every field is an atomic that
// it can read on its own; `begin` is written last when a range is taken and first when it
// is given back, and a zero there means the slot is free.
struct GuardedRange {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<const char*> message{nullptr};
    std::atomic<std::size_t> messageLength{0};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free &&
                  std::atomic<const char*>::is_always_lock_free &&
                  std::atomic<std::size_t>::is_always_lock_free,
              "the bus error handler reads these fields, so they must not hide a lock");

GuardedRange g_ranges[kMaxGuardedMappings];

// Taken by Guard and Release only, never by the handler: it orders the taking and giving
// back of slots and the installing and restoring of the handler.
std::mutex g_rangesMutex;
std::size_t g_guardedCount = 0;  // under g_rangesMutex
// The disposition the first guard found; written before the handler is installed, and read
// by the handler only once it is.
struct sigaction g_previousAction {};

void WriteAll(int fd, const char* text, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, text, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

const GuardedRange* RangeHolding(std::uintptr_t address) {
    for (const GuardedRange& range : g_ranges) {
        const std::uintptr_t begin = range.begin.load(std::memory_order_acquire);
        if (begin != 0 && address >= begin && address < range.end.load(std::memory_order_relaxed))
            return &range;
    }
    return nullptr;
}

void OnBusError(int signal, siginfo_t* info, void* /*context*/) {
    // Only a fault the system raised has an address that means anything.
    const bool fault = info != nullptr && info->si_code > 0;
    if (fault) {
        if (const GuardedRange* range =
                RangeHolding(reinterpret_cast<std::uintptr_t>(info->si_addr))) {
            WriteAll(STDERR_FILENO, range->message.load(std::memory_order_relaxed),
                     range->messageLength.load(std::memory_order_relaxed));
            ::_exit(kExitSceneUnreadable);
        }
    }
    const int savedErrno = errno;
    ::sigaction(signal, &g_previousAction, nullptr);
    // A fault repeats by itself when the faulting instruction runs again; a signal sent by
    // a program would not, so it is sent once more, to be taken when this handler returns.
    if (!fault) ::raise(signal);
    errno = savedErrno;
}

[[nodiscard]] bool InstallHandler() {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &g_previousAction) == 0;
}

void RestoreHandler() {
    ::sigaction(SIGBUS, &g_previousAction, nullptr);
}

}  // namespace

MappedFileGuard::~MappedFileGuard() {
    Release();
}

bool MappedFileGuard::Guard(const void* begin, std::size_t bytes, std::string message) {
    Release();
    const auto first = reinterpret_cast<std::uintptr_t>(begin);
    if (first == 0 || bytes == 0) return false;
    const std::lock_guard lock(g_rangesMutex);
    std::size_t slot = 0;
    while (slot < kMaxGuardedMappings && g_ranges[slot].begin.load() != 0) ++slot;
    if (slot == kMaxGuardedMappings) return false;
    if (g_guardedCount == 0 && !InstallHandler()) return false;
    ++g_guardedCount;
    m_message = std::move(message);
    GuardedRange& range = g_ranges[slot];
    range.message.store(m_message.data(), std::memory_order_relaxed);
    range.messageLength.store(m_message.size(), std::memory_order_relaxed);
    range.end.store(first + bytes, std::memory_order_relaxed);
    range.begin.store(first, std::memory_order_release);
    m_slot = static_cast<int>(slot);
    return true;
}

void MappedFileGuard::Release() {
    if (m_slot < 0) return;
    const std::lock_guard lock(g_rangesMutex);
    GuardedRange& range = g_ranges[m_slot];
    range.begin.store(0, std::memory_order_release);
    range.end.store(0, std::memory_order_relaxed);
    range.message.store(nullptr, std::memory_order_relaxed);
    range.messageLength.store(0, std::memory_order_relaxed);
    m_slot = -1;
    if (--g_guardedCount == 0) RestoreHandler();
}

}  // namespace tarvo::scenefile
