// process_util.h on POSIX: fork, a pipe for the ready signal, chown, a tmpfs
// and a file-size rlimit.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// Whether this process re-runs a test on its way to one ChildProcess body: a
// forked child never does.
constexpr bool IsReplayingChild() {
    return false;
}

// Runs `program` with `args` and `environment` changed, standard input read
// from the file `in` and output written to the files `out` and `err`; its exit
// status, or -1 when it did not exit.
inline int RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const Environment& environment, const std::string& in, const std::string& out,
                      const std::string& err) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : environment)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        const int files[3] = {open(in.c_str(), O_RDONLY),
                              open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                              open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i)
            dup2(files[i], i);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    const bool reaped = pid > 0 && waitpid(pid, &status, 0) == pid;
    return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The owner of a file as "uid:gid".
inline std::string OwnerOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid);
}

// Gives a file to 1234:1234; false when the process may not (it is not root).
inline bool GiveAway(const std::string& path) {
    return chown(path.c_str(), 1234, 1234) == 0;
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

// Why a process cannot limit the size of the files it writes here; null: it can.
constexpr const char* kNoFileSizeLimit = nullptr;

// Limits every file this process writes to `bytes`, as a quota would: a write
// past it fails with EFBIG rather than raising SIGXFSZ. For a child process.
inline bool LimitFileSize(std::size_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

}  // namespace kvtest
