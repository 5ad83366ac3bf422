// The few things the benchmarks need from the operating system beyond the
// standard library: the process's resident memory and its peak, and durable
// file writes for the commit floor. Kept here so that the rest of the
// benchmark code is plain C++.
#pragma once

#include <string>
#include <vector>

namespace kvbench {

// Hands free heap memory back to the system, so that the resident size comes
// close to what is in use.
void ReleaseFreeMemory();
// Starts a new peak: the peak resident size becomes the current one.
// False when the system does not allow it.
bool ResetPeakMemory();
// The resident size and its peak since the last reset, in bytes.
long long ResidentBytes();
long long PeakResidentBytes();

// Writes `bytes` as the whole content of a new file `path` and flushes it to
// the device before returning. False on any failure.
bool WriteFileDurably(const std::string& path, const std::string& bytes);
// Flushes a folder's entries (a rename into it) to the device.
bool SyncFolder(const std::string& folder);

// Runs the program `arguments[0]` to its end with its standard output going
// nowhere; its exit status, or -1 when it could not be run.
int RunQuietly(const std::vector<std::string>& arguments);

// One line about the machine: processor model and count, memory.
std::string MachineDescription();

}  // namespace kvbench
