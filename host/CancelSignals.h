// SIGINT (Ctrl-C), SIGTERM and SIGHUP cancel a run of the program instead of ending it at
// once, so that it can leave the user's files as they were and say so.
#pragma once

#include <signal.h>

#include <array>

class Interface;

namespace tarvo::hostapp {

// The exit status of a run that a signal cancelled, as a shell reports a program the signal
// ended: 130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP.
inline constexpr int kExitBySignalBase = 128;

// While one of these lives, the first SIGINT, SIGTERM or SIGHUP is only recorded (and passed
// to the attached host interface as a cancel, which the exporter polls); a second signal of
// the same kind has its default action, so a run that does not stop can still be ended.
// Only one may live at a time: a signal handler has nowhere to look but global state.
class CancelSignals {
  public:
    CancelSignals();
    ~CancelSignals();
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;

    // The signal that cancelled the run, 0 while none has.
    int Received() const;

    // From now until Detach, a signal also sets the cancel flag of `ip`; one that came
    // before sets it at once.
    void Attach(Interface& ip);
    void Detach();

    // Holds the signals back while it lives, for the steps that must not be cut in two
    // (moving the finished file into place, saving the scene); they arrive when it goes.
    class Deferral {
      public:
        Deferral();
        ~Deferral();
        Deferral(const Deferral&) = delete;
        Deferral& operator=(const Deferral&) = delete;

      private:
        sigset_t m_previous{};
    };

  private:
    std::array<struct sigaction, 3> m_previous{};
};

}  // namespace tarvo::hostapp
