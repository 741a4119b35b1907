#include "tests/host/ProgramRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "tests/support/TestFiles.h"

extern char** environ;

namespace tarvo::subprocess {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

std::vector<std::string> ChangedEnvironment(const EnvironmentChanges& changes) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        if (!changes.contains(name)) entries.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (value) entries.push_back(name + "=" + *value);
    return entries;
}

ChildProgram::ChildProgram(const std::vector<std::string>& argv, const EnvironmentChanges& changes,
                           int stderrFd)
    : m_outputs("tarvo-host-test"),
      m_outFile(m_outputs.File("out")),
      m_errFile(m_outputs.File("err")) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (stderrFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stderrFd, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_errFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args = argv;
    std::vector<std::string> env = ChangedEnvironment(changes);
    std::vector<char*> argPointers = Pointers(args);
    std::vector<char*> envPointers = Pointers(env);
    const int error = posix_spawn(&m_pid, argPointers[0], &actions, nullptr, argPointers.data(),
                                  envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + argv.front());
}

ChildProgram::~ChildProgram() {
    if (!m_waited) Wait();
}

ProgramResult ChildProgram::Wait() {
    ProgramResult result;
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_waited = true;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = testsupport::ReadText(m_outFile);
    result.err = testsupport::ReadText(m_errFile);
    return result;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const EnvironmentChanges& changes) {
    return ChildProgram(argv, changes).Wait();
}

}  // namespace tarvo::subprocess
