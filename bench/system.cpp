#include "system.h"

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

namespace kvbench {

namespace {

// A "Name:   value kB" line of /proc/self/status, in bytes; -1 when missing.
long long StatusBytes(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(name);
    while (std::getline(status, line)) {
        if (line.compare(0, length, name) == 0 && line.size() > length && line[length] == ':')
            return std::stoll(line.substr(length + 1)) * 1024;
    }
    return -1;
}

}  // namespace

void ReleaseFreeMemory() {
    malloc_trim(0);
}

bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

long long ResidentBytes() {
    return StatusBytes("VmRSS");
}

long long PeakResidentBytes() {
    return StatusBytes("VmHWM");
}

bool WriteFileDurably(const std::string& path, const std::string& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = write(fd, next, left);
        if (written <= 0) {
            close(fd);
            return false;
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

int RunQuietly(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MachineDescription() {
    std::string model;
    std::ifstream cpu("/proc/cpuinfo");
    std::string line;
    while (model.empty() && std::getline(cpu, line))
        if (line.compare(0, 10, "model name") == 0)
            model = line.substr(line.find(':') + 2);
    std::ifstream memory("/proc/meminfo");
    long long memoryKB = 0;
    while (std::getline(memory, line))
        if (line.compare(0, 9, "MemTotal:") == 0)
            memoryKB = std::stoll(line.substr(9));
    utsname system;
    std::string kernel;
    if (uname(&system) == 0)
        kernel = std::string(system.sysname) + " " + system.release;
    char text[512];
    std::snprintf(text, sizeof text, "%s, %u logical CPUs, %.1f GB RAM, %s",
                  model.empty() ? "unknown processor" : model.c_str(),
                  std::thread::hardware_concurrency(), memoryKB / 1048576.0, kernel.c_str());
    return text;
}

}  // namespace kvbench
