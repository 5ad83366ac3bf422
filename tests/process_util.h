// The tests' calls that differ by platform: child processes (that hold a
// lock, race for one, or are killed in the middle of a save), other programs
// run with their output captured, file owners, and running out of room (a
// small file system, a file-size limit). Each platform's file provides:
//
//   class ChildProcess    a child running a body whose result is its exit
//                         status; WaitReady, Kill, Wait; IsReplayingChild
//   RunProgram            a program run to its end with arguments, changed
//                         environment variables and redirected standard files
//   OwnerOf, GiveAway     a file's owner as text; giving the file to another
//   class SmallFileSystem a small file system to fill up, where one can be made
//   LimitFileSize         a limit on the size of the files a process writes
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvtest {

// Environment variables for RunProgram: a value to set, or none to remove it.
using Environment = std::map<std::string, std::optional<std::string>>;

}  // namespace kvtest

#if defined(_WIN32)
#include "platform/windows_process.h"
#else
#include "platform/posix_process.h"
#endif

namespace kvtest {

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

}  // namespace kvtest
