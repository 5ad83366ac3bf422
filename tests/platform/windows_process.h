// process_util.h on Windows. There is no fork: a ChildProcess runs this
// program again, as GoogleTest's re-run death tests do, with the filter set to
// the current test (a program without tests, the torture program, is run with
// its own command line) and KVTEST_CHILD naming which ChildProcess of that
// test the child runs. In the child the code before it runs again, the
// ChildProcess objects before it do nothing (they are ready, and exit with 0),
// and the chosen one runs its body and ends the process with the body's
// result. The code before a ChildProcess must therefore do the same again
// without harm; temporary folders get the same names in both (TempTree).
#pragma once

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>

#include "foundation/platform/windows/widetext.h"
#include "test_util.h"

namespace kvtest {

namespace child {

// What the environment says this process is for: the ordinal of the
// ChildProcess to run (none in the test program itself) and the event its
// `ready` sets.
struct Role {
    int chosen = -1;
    HANDLE ready = nullptr;
    bool ran = false;
};

inline Role& TheRole() {
    static Role role = [] {
        Role read;
        unsigned long long event = 0;
        const char* text = std::getenv("KVTEST_CHILD");
        if (text && std::sscanf(text, "%d %llu", &read.chosen, &event) == 2) {
            read.ready = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(event));
            SetEnvironmentVariableA("KVTEST_CHILD", nullptr);  // not for its own children
            // A child that never got to its ChildProcess did not run the body.
            std::atexit([] {
                if (!TheRole().ran)
                    TerminateProcess(GetCurrentProcess(), 98);
            });
        }
        return read;
    }();
    return role;
}
// Read as the program starts, before any test changes the environment.
inline const bool kRoleRead = (TheRole(), true);

// The ordinal of a new ChildProcess in the current test (in the whole program
// when it runs no test).
inline int NextOrdinal() {
    static const testing::TestInfo* test = nullptr;
    static int count = 0;
    const testing::TestInfo* now = testing::UnitTest::GetInstance()->current_test_info();
    if (now != test)
        test = now, count = 0;
    return count++;
}

// This program's command line again, for the current test only.
inline std::string CommandLine() {
    std::string line = GetCommandLineA();
    if (const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info())
        line +=
            std::string(" \"--gtest_filter=") + test->test_suite_name() + "." + test->name() + "\"";
    return line;
}

// A handle of the null device that a child inherits, for its standard files.
inline HANDLE NullDevice(DWORD access) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                       0, nullptr);
}

}  // namespace child

// A child running `body`, whose result becomes its exit status. The body
// calls `ready` once it is where the parent waits for it (see WaitReady).
class ChildProcess {
public:
    using Ready = std::function<void()>;

    explicit ChildProcess(const std::function<int(const Ready&)>& body) {
        const int ordinal = child::NextOrdinal();
        child::Role& role = child::TheRole();
        if (role.chosen >= 0) {
            m_inert = true;
            if (ordinal != role.chosen)
                return;
            role.ran = true;
            int status = 99;
            try {
                status = body([&role] { SetEvent(role.ready); });
            } catch (...) {
            }
            std::fflush(nullptr);
            TerminateProcess(GetCurrentProcess(), status);  // no test-framework teardown
        }
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        m_ready = CreateEventA(&inherit, TRUE, FALSE, nullptr);
        const std::string which =
            std::to_string(ordinal) + " " + std::to_string(reinterpret_cast<ULONG_PTR>(m_ready));
        SetEnvironmentVariableA("KVTEST_CHILD", which.c_str());
        SetEnvironmentVariableA("KVTEST_RUN_ID", RunId().c_str());
        // The child's output is the test's output again: it goes nowhere.
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = child::NullDevice(GENERIC_READ);
        startup.hStdOutput = child::NullDevice(GENERIC_WRITE);
        startup.hStdError = startup.hStdOutput;
        char program[MAX_PATH * 4] = "";
        GetModuleFileNameA(nullptr, program, sizeof program);
        std::string line = child::CommandLine();
        PROCESS_INFORMATION started{};
        if (CreateProcessA(program, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                           &started)) {
            CloseHandle(started.hThread);
            m_process = started.hProcess;
        }
        SetEnvironmentVariableA("KVTEST_CHILD", nullptr);
        CloseHandle(startup.hStdInput);
        CloseHandle(startup.hStdOutput);
    }
    ~ChildProcess() {
        Kill();
        if (m_ready)
            CloseHandle(m_ready);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits until the child has called `ready`; false when it ended first.
    bool WaitReady() {
        if (m_inert)
            return true;
        const HANDLE either[2] = {m_ready, m_process};
        return m_process && WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0;
    }
    // Kills the child at once, as a crash would, and waits for its end.
    void Kill() {
        if (m_process) {
            TerminateProcess(m_process, 137);
            Wait();
        }
    }
    // Waits for the child to end: its exit status, or -1 when there is none.
    int Wait() {
        if (m_inert)
            return 0;
        DWORD status = 0;
        const bool ended = m_process && WaitForSingleObject(m_process, INFINITE) == WAIT_OBJECT_0 &&
                           GetExitCodeProcess(m_process, &status);
        if (m_process)
            CloseHandle(m_process);
        m_process = nullptr;
        return ended ? static_cast<int>(status) : -1;
    }

private:
    HANDLE m_process = nullptr;
    HANDLE m_ready = nullptr;
    bool m_inert = false;  // one that a child passes on its way to its own
};

// Whether this process re-runs a test on its way to one ChildProcess body.
inline bool IsReplayingChild() {
    return child::TheRole().chosen >= 0;
}

// One argument as the C runtime of the program started splits its command
// line: quoted, with the backslashes before a quote doubled.
inline std::string QuotedArgument(const std::string& arg) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    return quoted.append(backslashes * 2, '\\') + "\"";
}

// UTF-8 text as the system's UTF-16.
inline std::wstring WideFromUtf8(const std::string& text) {
    return kv::platform::WideText(CP_UTF8, text.data(), static_cast<int>(text.size()));
}

// Runs `program` with `args` and `environment` changed, standard input read
// from the file `in` and output written to the files `out` and `err`; its exit
// status, or -1 when it could not be run. Arguments, environment values and
// paths are UTF-8 (a path's u8string()), as on POSIX: the program gets them in
// UTF-16, whatever the ANSI code page holds.
inline int RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const Environment& environment, const std::string& in, const std::string& out,
                      const std::string& err) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto open = [&inherit](const std::string& path, bool write) {
        return CreateFileW(WideFromUtf8(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           write ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open(in, false);
    startup.hStdOutput = open(out, true);
    startup.hStdError = open(err, true);
    // The child gets this process's environment with the changes; they are
    // undone once it has started.
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> before;
    for (const auto& [name, value] : environment) {
        const std::wstring wideName = WideFromUtf8(name);
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(wideName.c_str(), old, 32768);
        before.emplace_back(wideName, length ? std::optional<std::wstring>(old) : std::nullopt);
        SetEnvironmentVariableW(wideName.c_str(), value ? WideFromUtf8(*value).c_str() : nullptr);
    }
    std::wstring line = WideFromUtf8(QuotedArgument(program));
    for (const std::string& arg : args)
        line += L" " + WideFromUtf8(QuotedArgument(arg));
    PROCESS_INFORMATION started{};
    const bool ran = CreateProcessW(WideFromUtf8(program).c_str(), &line[0], nullptr, nullptr, TRUE,
                                    0, nullptr, nullptr, &startup, &started);
    for (const auto& [name, value] : before)
        SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    for (HANDLE file : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        CloseHandle(file);
    if (!ran)
        return -1;
    DWORD status = 0;
    WaitForSingleObject(started.hProcess, INFINITE);
    GetExitCodeProcess(started.hProcess, &status);
    CloseHandle(started.hProcess);
    CloseHandle(started.hThread);
    return static_cast<int>(status);
}

// The owner of a file as the text of its security identifier.
inline std::string OwnerOf(const std::string& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::string text;
    char* sid = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
        ConvertSidToStringSidA(owner, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return text;
}

// Gives a file to the local Administrators group; false when the process may
// not (it lacks the privilege to give files away).
inline bool GiveAway(const std::string& path) {
    PSID administrators = nullptr;
    if (!ConvertStringSidToSidA("S-1-5-32-544", &administrators))
        return false;
    std::string name = path;
    const bool given =
        SetNamedSecurityInfoA(&name[0], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, administrators,
                              nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    LocalFree(administrators);
    return given;
}

// A small file system to fill up: Windows makes one only from a disk image
// mounted by an administrator (and Wine not at all), so Mounted() is false
// and Error() says why.
class SmallFileSystem {
public:
    SmallFileSystem(const std::string&, std::size_t) {}
    bool Mounted() const { return false; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_error = "Windows mounts no small file system for a test";
};

// Why a process cannot limit the size of the files it writes here.
constexpr const char* kNoFileSizeLimit = "Windows has no limit on the size of a process's files";

inline bool LimitFileSize(std::size_t) {
    return false;
}

}  // namespace kvtest
