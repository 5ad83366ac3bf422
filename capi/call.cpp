#include "capi/call.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "capi/text.h"
#include "foundation/comerror.h"
#include "foundation/platform/framework.h"
#include "foundation/win32error.h"

namespace kvc {
namespace {

// Both trivially destructible: thread-local objects with destructors in a
// DLL can crash at thread exit with some runtimes.
thread_local std::string* t_collecting = nullptr;  // the running call's messages
thread_local char* t_lastMessage = nullptr;        // malloc'd; null reads as ""

void SetLastMessage(const std::string& text) {
    std::free(t_lastMessage);
    t_lastMessage = nullptr;
    if (text.empty())
        return;
    t_lastMessage = static_cast<char*>(std::malloc(text.size() + 1));
    if (t_lastMessage)
        std::memcpy(t_lastMessage, text.c_str(), text.size() + 1);
}

void Collect(const std::string& utf8) {
    if (!t_collecting)
        return;
    try {
        if (!t_collecting->empty())
            t_collecting->push_back('\n');
        t_collecting->append(utf8);
    } catch (...) {
        // A message that cannot be kept is lost; the status still says it.
    }
}

// A message callback for `text`, if any.
void Pass(const kvrepo_callbacks& callbacks, const std::string& utf8) {
    if (callbacks.message)
        callbacks.message(callbacks.context, utf8.c_str());
}

}  // namespace

const char* LastMessage() {
    return t_lastMessage ? t_lastMessage : "";
}

int InitCallbacks(kvrepo_callbacks* callbacks, unsigned int version) {
    if (!callbacks)
        return KVREPO_E_NULL_ARGUMENT;
    if (version != KVREPO_CALLBACKS_VERSION)
        return KVREPO_E_BAD_VERSION;
    std::memset(callbacks, 0, sizeof *callbacks);
    callbacks->version = version;
    return KVREPO_OK;
}

Sink::Sink() {
    InitCallbacks(&m_callbacks, KVREPO_CALLBACKS_VERSION);
}

int Sink::Set(const kvrepo_callbacks* callbacks) {
    kvrepo_callbacks chosen;
    InitCallbacks(&chosen, KVREPO_CALLBACKS_VERSION);
    if (callbacks) {
        if (callbacks->version != KVREPO_CALLBACKS_VERSION)
            return KVREPO_E_BAD_VERSION;
        // Only the members of the version given are read.
        std::memcpy(&chosen, callbacks, sizeof chosen);
    }
    m_callbacks = chosen;
    return KVREPO_OK;
}

long Sink::OnError(const _stringx& text) {
    const std::string utf8 = ToUtf8(text);
    Collect(utf8);
    Pass(m_callbacks, utf8);
    return 0;
}

long Sink::OnStatus(const _stringx& text) {
    return OnError(text);
}

bool Sink::OnOverwriteFile(const _stringx& path) {
    return !m_callbacks.overwrite_file ||
           m_callbacks.overwrite_file(m_callbacks.context, ToUtf8(path).c_str()) != 0;
}

bool Sink::OnOverwriteFolder(const _stringx& path) {
    return !m_callbacks.overwrite_folder ||
           m_callbacks.overwrite_folder(m_callbacks.context, ToUtf8(path).c_str()) != 0;
}

void Report(Sink* sink, const std::string& utf8) {
    if (sink)
        sink->OnError(_stringx(utf8.c_str()));
    else
        Collect(utf8);
}

int RunCall(int (*body)(void*), void* context) {
    std::string messages;
    std::string* const outer = t_collecting;
    t_collecting = &messages;
    int status = KVREPO_E_INTERNAL;
    const auto internal = [](const char* what) {
        Collect(std::string("internal error: ") + what);
        return KVREPO_E_INTERNAL;
    };
    try {
        status = body(context);
    } catch (const std::bad_alloc&) {
        status = KVREPO_E_NO_MEMORY;
    } catch (CMemoryException* error) {
        error->Delete();
        status = KVREPO_E_NO_MEMORY;
    } catch (CComException* error) {
        // A component that could not be created or failed: its HRESULT.
        Collect(error->GetError().what());
        status = static_cast<int>(error->GetHResult());
        error->Delete();
    } catch (COleException* error) {
        status = static_cast<int>(error->m_sc);
        error->Delete();
    } catch (CException* error) {
        error->Delete();
        status = internal("an exception of the host framework");
    } catch (const kv::win32_exception& error) {
        Collect(error.what());
        status = static_cast<int>(HRESULT_FROM_WIN32(error.error()));
    } catch (const std::exception& error) {
        status = internal(error.what());
    } catch (...) {
        status = internal("an unknown exception");
    }
    t_collecting = outer;
    SetLastMessage(status == KVREPO_OK ? std::string() : messages);
    return status;
}

}  // namespace kvc
