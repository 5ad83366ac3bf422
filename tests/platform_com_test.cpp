#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win32/bstr.h"
#include "win32/com.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/framework.h"
#include "foundation/platform/variant.h"

namespace {

std::basic_string<OLECHAR> Text(BSTR b) {
    return std::basic_string<OLECHAR>(b, SysStringLen(b));
}

TEST(Bstr, CarriesItsByteLengthAndMayBeReallocatedFromItsOwnText) {
    BSTR b = SysAllocString(OLESTR("abc"));
    EXPECT_EQ(SysStringLen(b), 3u);
    SysFreeString(b);
    b = SysAllocStringLen(OLESTR("a\0bc"), 4);  // embedded zeros count
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char*>(b) - 4, 4);
    EXPECT_EQ(prefix, 8u);
    EXPECT_EQ(SysStringByteLen(b), 8u);
    EXPECT_EQ(b[4], OLESTR('\0'));
    ASSERT_TRUE(SysReAllocStringLen(&b, b + 2, 1));  // the source lies inside the old string
    EXPECT_EQ(Text(b), OLESTR("b"));
    ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 5));
    EXPECT_EQ(SysStringLen(b), 5u);
    EXPECT_EQ(b[5], OLESTR('\0'));
    SysFreeString(b);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
}

// A counted object that records its own destruction.
class Counted final : public IUnknown {
public:
    explicit Counted(bool* destroyed) : m_destroyed(destroyed) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--refs)
            return refs;
        *m_destroyed = true;
        delete this;
        return 0;
    }
    ULONG refs = 1;

private:
    ~Counted() = default;
    bool* m_destroyed;
};

TEST(ComPtr, CountsCopiesMovesAndAttachments) {
    bool destroyed = false;
    auto* object = new Counted(&destroyed);
    {
        CComPtr<IUnknown> a;
        a.Attach(object);  // takes the creation reference
        CComPtr<IUnknown> b = a;
        CComPtr<IUnknown> c = std::move(b);
        EXPECT_FALSE(b);
        CComPtr<IUnknown>& self = c;
        c = self;
        EXPECT_EQ(object->refs, 2u);
        c.Release();
        EXPECT_EQ(object->refs, 1u);
    }
    EXPECT_TRUE(destroyed);
}

TEST(Variant, ChangesToTextTheWayComDoesCopiesDeepAndMovesEmpty) {
    const std::pair<CComVariant, const OLECHAR*> texts[] = {
        {CComVariant(LONG(-42)), OLESTR("-42")},
        {CComVariant(LONGLONG(1) << 40), OLESTR("1099511627776")},
        {CComVariant(true), OLESTR("-1")},
        {CComVariant(false), OLESTR("0")},
        {CComVariant(0.1), OLESTR("0.1")},
        {CComVariant(2.5e-8), OLESTR("2.5e-08")},
        {CComVariant(), OLESTR("")},
        {CComVariant(OLESTR("t\u00E9xt")), OLESTR("t\u00E9xt")}};
    for (const auto& [value, text] : texts) {
        CComVariant copy(value);
        ASSERT_EQ(copy.ChangeType(VT_BSTR), S_OK);
        EXPECT_EQ(Text(copy.bstrVal), text);
    }
    CComVariant a(OLESTR("12"));
    EXPECT_EQ(a.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(a.vt, VT_BSTR);

    CComVariant b(a);
    ASSERT_NE(a.bstrVal, b.bstrVal);
    EXPECT_TRUE(a == b);
    b = OLESTR("other");
    CComVariant c(std::move(a));
    EXPECT_EQ(a.vt, VT_EMPTY);
    CComVariant& self = c;
    c = self;
    EXPECT_EQ(Text(c.bstrVal), OLESTR("12"));
    EXPECT_FALSE(CComVariant(LONG(1)) == CComVariant(OLESTR("1")));  // the type counts
    EXPECT_TRUE(CComVariant(LONG(5), VT_ERROR) == CComVariant(LONG(5), VT_ERROR));
}

TEST(FrameworkExceptions, AreThrownByPointerAndDeletedByTheCatcher) {
    try {
        AfxThrowOleException(E_ACCESSDENIED);
    } catch (COleException* e) {
        EXPECT_EQ(e->m_sc, E_ACCESSDENIED);
        char text[64];
        EXPECT_TRUE(e->GetErrorMessage(text, sizeof(text)));
        EXPECT_STREQ(text, "Access is denied.");
        e->Delete();
    }
    try {  // out of memory travels as the memory exception
        AfxThrowOleException(E_OUTOFMEMORY);
    } catch (CMemoryException* e) {
        e->Delete();
    }
}

}  // namespace
