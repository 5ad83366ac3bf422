// Test-only helpers that run code in child processes (fork), for tests of
// behaviour across processes: locks, concurrent writers, killed savers.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace kvtest {

// Runs `body` in a child process; the child exits with body's result.
inline pid_t Spawn(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

// Waits for a child and answers its exit code (-1 when it did not exit normally).
inline int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

inline void Kill(pid_t pid) {
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

// Runs `body(i)` in `count` children at once and answers how many exited 0.
inline int RunAll(int count, const std::function<int(int)>& body) {
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i)
        children.push_back(Spawn([&body, i] { return body(i); }));
    int succeeded = 0;
    for (pid_t child : children)
        succeeded += Wait(child) == 0 ? 1 : 0;
    return succeeded;
}

}  // namespace kvtest
