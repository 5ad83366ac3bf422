// One call through the C interface: it collects the messages the library
// reports while it runs, turns every exception into a status, and leaves the
// thread's last message as the call's outcome says.
#pragma once

#include <string>
#include <utility>

#include "foundation/repostatus.h"
#include "kvrepo_c.h"

namespace kvc {

// The caller's callbacks as the library's status interface. Messages go to
// the running call's collection and to the message callback; overwrite
// questions to the callbacks (yes without one).
class Sink final : public IRepoStatus {
public:
    Sink();
    // Replaces the callbacks (null: the defaults); KVREPO_E_BAD_VERSION for a
    // version this library does not know.
    int Set(const kvrepo_callbacks* callbacks);

    long OnError(const _stringx& text) override;
    long OnStatus(const _stringx& text) override;
    bool OnOverwriteFile(const _stringx& path) override;
    bool OnOverwriteFolder(const _stringx& path) override;

private:
    kvrepo_callbacks m_callbacks;
};

// Runs `body` (returning a status) as one call: its messages are collected,
// every exception becomes a status (KVREPO_E_NO_MEMORY, a component's
// HRESULT, KVREPO_E_INTERNAL), and the thread's last message is set to the
// messages of a failure or cleared by a success.
int RunCall(int (*body)(void*), void* context);

template <class Body>
int Call(Body&& body) {
    return RunCall([](void* context) { return (*static_cast<Body*>(context))(); }, &body);
}

// kvrepo_callbacks_init without the call around it.
int InitCallbacks(kvrepo_callbacks* callbacks, unsigned int version);

// The thread's last message ("" when none).
const char* LastMessage();

// Adds a message of the C interface's own to the running call (and passes it
// to the callbacks of `sink`, when given).
void Report(Sink* sink, const std::string& utf8);

}  // namespace kvc
