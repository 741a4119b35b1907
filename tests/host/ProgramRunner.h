// Runs a program as a child process, as a user at a shell would, and collects its exit
// status and output.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace tarvo::subprocess {

struct ProgramResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    int signal = 0;     // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// Changes to the environment of the child: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// The current environment with the changes applied, as "NAME=value" entries.
std::vector<std::string> ChangedEnvironment(const EnvironmentChanges& changes);

// A running child whose standard output and error go to files; Wait collects them.
class ChildProgram {
  public:
    // `stderrFd`, when not negative, is used as the child's standard error instead of a file.
    ChildProgram(const std::vector<std::string>& argv, const EnvironmentChanges& changes,
                 int stderrFd = -1);
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t Pid() const { return m_pid; }
    ProgramResult Wait();

  private:
    pid_t m_pid = -1;
    bool m_waited = false;
    testsupport::TempDir m_outputs;  // the child's standard output and error, as files
    std::string m_outFile;
    std::string m_errFile;
};

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const EnvironmentChanges& changes = {});

}  // namespace tarvo::subprocess
