// scrrun.dll: the file-system component. Its one class, FileSystemObject,
// implements Scripting::IFileSystem.

#include "components/classfactory.h"
#include "components/fso/filesystem.h"

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return kv::components::GetClassObject<kv::fso::FileSystem>(CLSID_FileSystemObject, clsid, iid,
                                                               object);
}
