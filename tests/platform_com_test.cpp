#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win32/bstr.h"
#include "win32/com.h"
#include "foundation/platform/framework.h"
#include "foundation/platform/variant.h"
#include "test_util.h"

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

TEST(Variant, ChangesToTextTheWayComDoes) {
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
#ifndef _WIN32
    // The POSIX layer changes types to text only; the system's
    // VariantChangeType also reads numbers.
    CComVariant a(OLESTR("12"));
    EXPECT_EQ(a.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(a.vt, VT_BSTR);
#endif
    EXPECT_FALSE(CComVariant(LONG(1)) == CComVariant(OLESTR("1")));  // the type counts
}

TEST(FrameworkExceptions, AreThrownByPointerAndDeletedByTheCatcher) {
    try {
        AfxThrowOleException(E_ACCESSDENIED);
    } catch (COleException* e) {
        EXPECT_EQ(e->m_sc, E_ACCESSDENIED);
        char text[64];
        EXPECT_TRUE(e->GetErrorMessage(text, sizeof(text)));
        EXPECT_THAT(text, kvtest::SystemText("Access is denied."));
        e->Delete();
    }
    try {  // out of memory travels as the memory exception
        AfxThrowOleException(E_OUTOFMEMORY);
    } catch (CMemoryException* e) {
        e->Delete();
    }
}

}  // namespace
