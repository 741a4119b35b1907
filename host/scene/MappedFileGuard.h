// Turns the bus error of a mapped file that another program cut short into a message and the
// program's ordinary failure status, instead of a crash.
//
// Reading a mapped page that no longer has a file behind it raises SIGBUS. While at least
// one guard is held, a handler of SIGBUS is installed; a fault at an address inside a guarded
// range writes that range's message to the standard error and ends the process at once
// (_exit), with kExitSceneUnreadable. Unwinding from the handler instead (siglongjmp, say)
// would skip the destructors of every C++ frame in between, and the faulting read may be in
// any of the loader's threads. Nothing is lost by the exit: while a scene is loaded, no
// output file has been opened yet.
//
// Any other SIGBUS keeps its usual effect: the disposition found when the first guard was
// taken is put back, and a fault repeats under it when the handler returns, while a signal
// another program sent is raised once more.
//
// The handler only reads what a guard prepared beforehand (the range and the whole message),
// so that it allocates nothing and calls only write(2), sigaction, raise and _exit. A range
// is guarded until Release or the destructor; the caller unmaps after that, never before, and
// no other thread may be reading the range then.
#pragma once

#include <cstddef>
#include <string>

namespace tarvo::scenefile {

// The status the program ends with for a scene file it cannot read.
inline constexpr int kExitSceneUnreadable = 1;

// How many ranges may be guarded at once; a caller that cannot get a guard reads the file
// into memory of its own instead.
inline constexpr std::size_t kMaxGuardedMappings = 8;

class MappedFileGuard {
  public:
    MappedFileGuard() = default;
    MappedFileGuard(const MappedFileGuard&) = delete;
    MappedFileGuard& operator=(const MappedFileGuard&) = delete;
    ~MappedFileGuard();

    // Guards `bytes` bytes from `begin`; `message` is written as it stands (a whole line) if a
    // read there faults. False when kMaxGuardedMappings ranges are guarded already or the
    // handler cannot be installed: the range is then not guarded.
    [[nodiscard]] bool Guard(const void* begin, std::size_t bytes, std::string message);

    // Stops guarding the range; the handler goes when the last guard does.
    void Release();

    bool Guarding() const { return m_slot >= 0; }

  private:
    int m_slot = -1;
    std::string m_message;  // read by the handler, so it stays put while the range is guarded
};

}  // namespace tarvo::scenefile
