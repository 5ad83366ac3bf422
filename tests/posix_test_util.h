// What the file tests need from POSIX itself: a second process (one that holds
// a lock, races for it, or is killed in the middle of a save) and file owners.
// The only place the tests use POSIX calls.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace kvtest {

class ChildProcess {
public:
    // What the child runs. It calls `ready` once it is where the parent waits
    // for it to be; its return value becomes the child's exit status.
    using Body = std::function<int(const std::function<void()>& ready)>;

    explicit ChildProcess(const Body& body) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const int writeFd = fds[1];
            int status = 99;
            try {
                status = body([writeFd] {
                    const char byte = 1;
                    (void)!write(writeFd, &byte, 1);
                });
            } catch (...) {
            }
            // No test-framework teardown in the child: it is not the test.
            _exit(status);
        }
        close(fds[1]);
        m_readyFd = fds[0];
    }
    ~ChildProcess() {
        Kill();
        if (m_readyFd >= 0)
            close(m_readyFd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }

    // Waits until the child has called `ready`; false when it ended first.
    bool WaitReady() {
        char byte;
        ssize_t n;
        do
            n = read(m_readyFd, &byte, 1);
        while (n < 0 && errno == EINTR);
        return n == 1;
    }

    // Kills the child at once (as a crash would) and reaps it.
    void Kill() {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        Reap();
    }

    // Waits for the child to end by itself; its exit status, or -1 when it
    // did not exit normally.
    int Wait() {
        if (m_pid <= 0)
            return -1;
        const int status = Reap();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    int Reap() {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return status;
    }

    pid_t m_pid = -1;
    int m_readyFd = -1;
};

struct Owner {
    unsigned uid = 0;
    unsigned gid = 0;
    bool operator==(const Owner& other) const { return uid == other.uid && gid == other.gid; }
};

inline Owner OwnerOf(const char* path) {
    struct stat status {};
    stat(path, &status);
    return Owner{static_cast<unsigned>(status.st_uid), static_cast<unsigned>(status.st_gid)};
}

// False when the process may not give files away (it is not root).
inline bool ChangeOwner(const char* path, Owner owner) {
    return chown(path, static_cast<uid_t>(owner.uid), static_cast<gid_t>(owner.gid)) == 0;
}

}  // namespace kvtest
