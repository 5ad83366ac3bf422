#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/platform/bstr.h"
#include "foundation/platform/com.h"
#include "foundation/platform/framework.h"
#include "foundation/platform/variant.h"

namespace {

std::u16string Text(BSTR b) {
    return std::u16string(b, SysStringLen(b));
}

TEST(Bstr, CarriesItsByteLengthBeforeTheText) {
    BSTR b = SysAllocString(u"abc");
    ASSERT_NE(b, nullptr);
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char*>(b) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(b[3], u'\0');
    SysFreeString(b);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(Bstr, EmbeddedZerosCountAndReallocationMayReadItsOwnText) {
    BSTR b = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(b), 3u);
    ASSERT_TRUE(SysReAllocStringLen(&b, b + 2, 1));  // source inside the old string
    EXPECT_EQ(Text(b), u"b");
    ASSERT_TRUE(SysReAllocStringLen(&b, nullptr, 5));
    EXPECT_EQ(SysStringLen(b), 5u);
    EXPECT_EQ(b[5], u'\0');
    SysFreeString(b);
}

// A counted object that records its own destruction.
class Counted final : public IUnknown {
public:
    explicit Counted(bool* destroyed) : destroyed_(destroyed) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (--refs == 0) {
            *destroyed_ = true;
            delete this;
            return 0;
        }
        return refs;
    }
    ULONG refs = 1;

private:
    ~Counted() = default;
    bool* destroyed_;
};

TEST(ComPtr, CountsCopiesMovesAndAttachments) {
    bool destroyed = false;
    auto* object = new Counted(&destroyed);
    {
        CComPtr<IUnknown> a;
        a.Attach(object);  // takes the creation reference
        CComPtr<IUnknown> b = a;
        EXPECT_EQ(object->refs, 2u);
        CComPtr<IUnknown> c = std::move(b);
        EXPECT_EQ(object->refs, 2u);
        EXPECT_FALSE(b);
        CComPtr<IUnknown>& self = c;
        c = self;  // self-assignment keeps the object
        EXPECT_EQ(object->refs, 2u);
        c.Release();
        EXPECT_EQ(object->refs, 1u);
        EXPECT_FALSE(destroyed);
    }
    EXPECT_TRUE(destroyed);
}

TEST(ErrorInfo, IsTakenOnceAndClearedByTheTaking) {
    CComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(u"It broke"));
    create->SetSource(const_cast<LPOLESTR>(u"Test.Source"));
    create->SetGUID(IID_IClassFactory);
    CComPtr<IErrorInfo> info;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    ASSERT_EQ(SetErrorInfo(0, info), S_OK);

    IErrorInfo* taken = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    BSTR text = nullptr;
    taken->GetDescription(&text);
    EXPECT_EQ(Text(text), u"It broke");
    SysFreeString(text);
    GUID guid;
    taken->GetGUID(&guid);
    EXPECT_TRUE(IsEqualGUID(guid, IID_IClassFactory));
    taken->Release();

    EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);
    EXPECT_EQ(taken, nullptr);
}

TEST(ClassRegistry, IsEmptyOnThisPlatform) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    CLSID clsid = IID_IUnknown;
    EXPECT_EQ(CLSIDFromProgID(u"Some.Thing", &clsid), CO_E_CLASSSTRING);
    EXPECT_TRUE(IsEqualGUID(clsid, GUID_NULL));
}

std::u16string AsText(const CComVariant& v) {
    CComVariant copy(v);
    EXPECT_EQ(copy.ChangeType(VT_BSTR), S_OK);
    return Text(copy.bstrVal);
}

TEST(Variant, ChangesToTextTheWayComDoes) {
    EXPECT_EQ(AsText(CComVariant(LONG(-42))), u"-42");
    EXPECT_EQ(AsText(CComVariant(LONGLONG(1) << 40)), u"1099511627776");
    EXPECT_EQ(AsText(CComVariant(true)), u"-1");
    EXPECT_EQ(AsText(CComVariant(false)), u"0");
    EXPECT_EQ(AsText(CComVariant(0.1)), u"0.1");
    EXPECT_EQ(AsText(CComVariant(2.5e-8)), u"2.5e-08");
    EXPECT_EQ(AsText(CComVariant()), u"");
    EXPECT_EQ(AsText(CComVariant(u"t\u00E9xt")), u"t\u00E9xt");
}

TEST(Variant, OnlyTextIsAConversionTarget) {
    CComVariant v(u"12");
    EXPECT_EQ(v.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v.vt, VT_BSTR);  // left as it was
}

TEST(Variant, CopiesAreDeepAndMovesLeaveTheSourceEmpty) {
    CComVariant a(u"value");
    CComVariant b(a);
    ASSERT_NE(a.bstrVal, b.bstrVal);
    EXPECT_TRUE(a == b);
    b = u"other";
    EXPECT_FALSE(a == b);
    EXPECT_EQ(Text(a.bstrVal), u"value");

    CComVariant c(std::move(a));
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(Text(c.bstrVal), u"value");
    CComVariant& self = c;
    c = self;
    EXPECT_EQ(Text(c.bstrVal), u"value");

    EXPECT_FALSE(CComVariant(LONG(1)) == CComVariant(u"1"));  // type matters
    EXPECT_TRUE(CComVariant(LONG(5), VT_ERROR) == CComVariant(LONG(5), VT_ERROR));
}

TEST(FrameworkExceptions, AreThrownByPointerAndDeletedByTheCatcher) {
    try {
        AfxThrowOleException(E_ACCESSDENIED);
        FAIL();
    } catch (COleException* e) {
        EXPECT_EQ(e->m_sc, E_ACCESSDENIED);
        char text[64];
        EXPECT_TRUE(e->GetErrorMessage(text, sizeof(text)));
        EXPECT_STREQ(text, "Access is denied.");
        EXPECT_STREQ(e->GetRuntimeClass()->m_lpszClassName, "CException");
        e->Delete();
    }
    // Out of memory travels as the memory exception, whatever raised it.
    try {
        AfxThrowOleException(E_OUTOFMEMORY);
        FAIL();
    } catch (CMemoryException* e) {
        e->Delete();
    }
}

}  // namespace
