// scrrun.dll: the file-system component. Its one class, FileSystemObject,
// implements Scripting::IFileSystem.

#include "foundation/platform/types.h"
#include "components/classfactory.h"
#include "components/fso/filesystem.h"
#include "win32/scripting.h"

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return kv::components::GetClassObject<kv::fso::FileSystem>(CLSID_FileSystemObject, clsid, iid,
                                                               object);
}
