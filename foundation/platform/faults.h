// Test-only fault injection into the layer's file-system calls.
//
// Built only when the project is configured with KVREPO_FAULT_INJECTION (the
// test builds are; a release build has neither the functions nor the counting).
// A test arms one fault: the Nth call of one kind, counted from the moment the
// fault is armed, fails with the chosen Win32 error, once or from then on.
// Failure is simulated at the system call, below the layer's own logic, so the
// layer reports it exactly as it would a real failure (the error is turned into
// the matching system error number and mapped back).
//
// Counting and the armed fault are process-wide: tests that use them must not
// run file operations on other threads meanwhile.
#pragma once

#include "foundation/platform/types.h"

namespace kv {
namespace platform {

// The kinds of file-system call a fault can hit.
enum class FileCall {
    kOpen,         // opening or creating a file (temporary files too)
    kRead,         // one read of a file's bytes
    kWrite,        // one write of bytes to a file
    kFlush,        // putting a file's data on the device
    kClose,        // closing a handle (the descriptor is released all the same)
    kChmod,        // changing a file's permission bits, owner or attributes
    kRename,       // renaming or replacing a file or folder
    kFolderFlush,  // putting a folder's entries on the device after a rename
    kLock,         // taking an inter-process file lock
    kMakeFolder,   // creating a folder
    kCopy,         // a whole file copy (its own opens, reads and writes count too)
    kDelete,       // deleting a file or an empty folder
    // Counted only, never failed: for tests that show how the work of an
    // operation grows (a listing must not ask each file for its status). On
    // Windows the layer counts the system's GetFileAttributesA and
    // FindFirstFileA as these.
    kStatus,      // asking for one file's status or attributes by name
    kFolderList,  // opening a folder to read its entries (the reads are not counted)
    // Not the layer's: asked only by the naive test variant of the XML
    // component (components/xmldom/variant.h) as it encodes a document it
    // saves in another form than UTF-8 without a mark. A hit, whatever its
    // error, has it write the UTF-8 text under the declaration it loaded, as
    // some DOMs do.
    kDomEncode,
};
constexpr int kFileCallKinds = 15;

struct InjectedFault {
    FileCall call = FileCall::kOpen;
    unsigned nth = 1;         // 1: the first call of the kind after arming
    bool persistent = false;  // false: that call only; true: that call and all later ones
    DWORD error = ERROR_ACCESS_DENIED;
    // For kWrite only: instead of failing, the call writes half of what it was
    // asked (rounded down, so a persistent fault ends in a write of nothing).
    bool shortCount = false;
};

#ifdef KV_FAULT_INJECTION
// Arms `fault` and restarts every count.
KV_LAYER_API void ArmFault(const InjectedFault& fault);
// Disarms any fault; counting goes on.
KV_LAYER_API void DisarmFault();
// Calls of a kind since the last ArmFault (or process start).
KV_LAYER_API unsigned FileCallCount(FileCall call);
// How many calls the armed fault has hit.
KV_LAYER_API unsigned FaultsHit();

// For the platform layer's calls: counts one call of `call` and says whether
// the armed fault hits it (kFail, with ArmedFaultError's error) or, for a
// short-count write fault, makes it short.
enum class FaultOutcome { kPass, kFail, kShort };
KV_LAYER_API FaultOutcome DecideFault(FileCall call);
KV_LAYER_API DWORD ArmedFaultError();
#endif

}  // namespace platform
}  // namespace kv
