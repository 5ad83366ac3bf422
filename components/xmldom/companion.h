// The component's optional interfaces (foundation/xmldomreader.h) are
// answered by companion objects: a document or node list implements one
// interface itself, so each optional one is a small object that holds its
// owner and hands every call to it.
#pragma once

#include "components/comobject.h"
#include "foundation/platform/comptr.h"

namespace kv {
namespace xmldom {

template <class Interface, class Owner>
class Companion : public component::ComObject<Interface> {
public:
    typedef Interface Answered;

    Companion(Owner* owner, const IID& iid) : m_owner(owner), m_iid(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return this->Answer(iid, object, {&IID_IUnknown, &m_iid});
    }

protected:
    ~Companion() override = default;

    CComPtr<Owner> m_owner;

private:
    const IID& m_iid;
};

// Answers a query with a new companion of type `Made` of `owner`.
template <class Made, class Owner>
HRESULT AnswerWithCompanion(Owner* owner, void** object) {
    *object = nullptr;
    return component::Guarded([&] {
        Made* made = new Made(owner);
        *object = static_cast<typename Made::Answered*>(made);
        return S_OK;
    });
}

}  // namespace xmldom
}  // namespace kv
