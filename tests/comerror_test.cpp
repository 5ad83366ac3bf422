#include <gtest/gtest.h>

#include <cstring>

#include "foundation/comerror.h"
#include "foundation/platform/com.h"
#include "test_util.h"

namespace {

// Runs `hr` through a com_check and returns what was thrown (null if nothing).
CComException* Check(long hr) {
    try {
        com_check check;
        check = hr;
    } catch (CComException* e) {
        return e;
    }
    return nullptr;
}

TEST(ComCheck, SuccessCodesPass) {
    EXPECT_EQ(Check(S_OK), nullptr);
    EXPECT_EQ(Check(S_FALSE), nullptr);
    com_check check(S_FALSE);
    EXPECT_EQ(static_cast<long>(check), S_FALSE);
}

TEST(ComCheck, AFailureThrowsAComExceptionWithTheSystemText) {
    CComException* e = Check(E_FAIL);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetHResult(), E_FAIL);
    char text[64];
    UINT help = 77;
    EXPECT_TRUE(e->GetErrorMessage(text, sizeof(text), &help));
    EXPECT_STREQ(text, "Unspecified error");
    EXPECT_EQ(help, 77u);
    EXPECT_STREQ(e->GetRuntimeClass()->m_lpszClassName, "CException");
    e->Delete();
}

TEST(ComCheck, TheFirstFailureLeavesTheSequence) {
    int reached = 0;
    try {
        com_check hr = S_OK;
        ++reached;
        hr = E_ACCESSDENIED;
        ++reached;
        hr = E_FAIL;
    } catch (CComException* e) {
        EXPECT_EQ(e->GetHResult(), E_ACCESSDENIED);
        EXPECT_STREQ(e->GetError().what(), "Access is denied.");
        e->Delete();
    }
    EXPECT_EQ(reached, 1);
}

TEST(ComException, GetErrorMessageTruncatesToTheCapacity) {
    CComException e{com_exception(E_FAIL)};
    char text[10];
    std::memset(text, 'X', sizeof(text));
    EXPECT_TRUE(e.GetErrorMessage(text, 10));
    EXPECT_STREQ(text, "Unspecifi");
}

TEST(ComException, WithoutErrorInformationOrTextItIsUnknown) {
    com_exception e(static_cast<long>(0x8BADF00D));
    EXPECT_STREQ(e.what(), "Unknown error");
    EXPECT_TRUE(e.m_source.empty());
    EXPECT_TRUE(IsEqualGUID(e.m_iid, GUID_NULL));
}

TEST(ComException, TakesTheThreadsErrorInformation) {
    CComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(u"The document is locked"));
    create->SetSource(const_cast<LPOLESTR>(u"Xml.Document"));
    create->SetGUID(IID_IClassFactory);
    CComPtr<IErrorInfo> info;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);

    com_exception e(E_FAIL);
    EXPECT_STREQ(e.what(), "The document is locked");
    EXPECT_EQ(U8(e.m_source), "Xml.Document");
    EXPECT_TRUE(IsEqualGUID(e.m_iid, IID_IClassFactory));
    EXPECT_TRUE(IsEqualGUID(e.m_clsid, GUID_NULL));  // no registered ProgIDs here

    // Taken means consumed: the next failure has the system text again.
    EXPECT_STREQ(com_exception(E_FAIL).what(), "Unspecified error");
}

TEST(ComException, CopiesCarryEveryField) {
    com_exception original(E_ACCESSDENIED);
    com_exception copy(original);
    EXPECT_EQ(copy.m_hr, E_ACCESSDENIED);
    EXPECT_STREQ(copy.what(), original.what());
    EXPECT_NE(copy.what(), original.what());  // each owns its narrow buffer
}

}  // namespace
