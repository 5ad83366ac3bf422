// msxml4.dll: the XML document component. Its one class, DOMDocument40, is a
// document object (IXMLDOMDocument2) over a pugixml tree.

#include "foundation/platform/types.h"
#include "components/classfactory.h"
#include "components/xmldom/document.h"

KV_EXPORT_C HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return kv::components::GetClassObject<kv::xmldom::Document>(CLSID_DOMDocument40, clsid, iid,
                                                                object);
}
