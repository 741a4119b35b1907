// A thread that stays for a whole scan of a scene file and runs one task at a time for it:
// the first helper of every long list the streaming reader shares out.
//
// Started afresh for each list, that thread began one to four milliseconds late now and
// then on the build machine (the other processor had to be woken first), and one thread read
// the list alone meanwhile. So the thread is started once, while the scan surveys its first
// long list, and between tasks both sides wait spinning for a while (the next list, or the
// end of the other thread's last part, comes within microseconds), and only then sleep.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvo::scenefile {

class StandingHelper {
  public:
    // How long either side waits spinning before it sleeps, when none is given.
    static constexpr std::chrono::microseconds kDefaultSpin{2000};

    explicit StandingHelper(std::chrono::microseconds spin = kDefaultSpin) : m_spin(spin) {}
    StandingHelper(const StandingHelper&) = delete;
    StandingHelper& operator=(const StandingHelper&) = delete;
    // Stops the thread, if it was started, and waits for it.
    ~StandingHelper();

    // Starts the thread, if it is not running yet, so that it is awake when the first task
    // comes; throws std::system_error when no thread can be had.
    void Start();

    // One task on the helper's thread, from construction until Get, or until the destructor
    // on any other way out: the task may use anything of the frame that holds it. One task
    // at a time per helper. Throws std::system_error when no thread can be had.
    class Task {
      public:
        Task(StandingHelper& helper, std::function<void()> work);
        Task(const Task&) = delete;
        Task& operator=(const Task&) = delete;
        ~Task();

        // Waits for the task to end; throws what it threw.
        void Get();

      private:
        StandingHelper& m_helper;
        bool m_collected = false;
    };

  private:
    enum State : unsigned { kIdle, kGiven, kDone, kStopping };

    void Serve();
    void SetState(State state);
    // Waits until `ready` holds for the state, spinning first; returns that state.
    template <typename Ready>
    State AwaitState(Ready ready);
    // Waits for the task given last to end; what it threw, if anything.
    std::exception_ptr Collect();

    const std::chrono::microseconds m_spin;
    std::thread m_thread;
    std::atomic<State> m_state{kIdle};
    std::mutex m_mutex;                 // only for sleeping on m_changed
    std::condition_variable m_changed;  // the state changed
    std::function<void()> m_work;       // written only while the state is kIdle
    std::exception_ptr m_failure;       // written by the helper's thread before kDone
};

}  // namespace tarvo::scenefile
