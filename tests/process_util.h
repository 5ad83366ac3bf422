// The tests' only POSIX calls: child processes (that hold a lock, race for one,
// or are killed in the middle of a save), file owners, and running out of room
// (a small file system, a file-size limit).
#pragma once

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {

// A forked child running `body`, whose result becomes its exit status. The body
// calls `ready` once it is where the parent waits for it (see WaitReady).
class ChildProcess {
public:
    using Ready = std::function<void()>;

    explicit ChildProcess(const std::function<int(const Ready&)>& body) {
        int fds[2] = {-1, -1};
        (void)!pipe(fds);
        m_readyFd = fds[0];
        if ((m_pid = fork()) == 0) {
            int status = 99;
            try {
                status = body([fd = fds[1]] { (void)!write(fd, "r", 1); });
            } catch (...) {
            }
            _exit(status);  // no test-framework teardown in the child
        }
        close(fds[1]);
    }
    ~ChildProcess() {
        Kill();
        close(m_readyFd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits until the child has called `ready`; false when it ended first.
    bool WaitReady() {
        char byte;
        return read(m_readyFd, &byte, 1) == 1;
    }
    // Kills the child at once, as a crash would, and reaps it.
    void Kill() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }
    // Waits for the child to end: its exit status, or -1 when it did not exit.
    int Wait() {
        int status = 0;
        const bool reaped = m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid;
        m_pid = -1;
        return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_readyFd = -1;
};

// Runs `body(i)` in `count` children at once; how many exited with 0.
inline int RunAll(int count, const std::function<int(int)>& body) {
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < count; ++i)
        children.push_back(std::make_unique<ChildProcess>([&body, i](auto&) { return body(i); }));
    int succeeded = 0;
    for (auto& child : children)
        succeeded += child->Wait() == 0;
    return succeeded;
}

// The owner of a file as "uid:gid".
inline std::string OwnerOf(const char* path) {
    struct stat status {};
    stat(path, &status);
    return std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid);
}

// Gives a file to 1234:1234; false when the process may not (it is not root).
inline bool GiveAway(const char* path) {
    return chown(path, 1234, 1234) == 0;
}

// A tmpfs of `bytes` mounted on `folder` (created) for the life of the object,
// to fill up. Where mounting is not allowed (not root, a container without the
// right) Mounted() is false and Error() says why.
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& folder, std::size_t bytes) : m_folder(folder) {
        mkdir(folder.c_str(), 0755);
        const std::string options = "size=" + std::to_string(bytes);
        m_mounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
        m_error = m_mounted ? "" : std::strerror(errno);
    }
    ~SmallFileSystem() {
        if (m_mounted)
            umount2(m_folder.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_folder, m_error;
    bool m_mounted = false;
};

// Limits every file this process writes to `bytes`, as a quota would: a write
// past it fails with EFBIG rather than raising SIGXFSZ. For a child process.
inline bool LimitFileSize(std::size_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

}  // namespace kvtest
