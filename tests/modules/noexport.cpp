// A module for the loader's tests that loads fine but exports no
// DllGetClassObject.

#include "foundation/platform/types.h"

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}
