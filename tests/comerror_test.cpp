#include "foundation/comerror.h"
#include "win32/com.h"
#include "foundation/platform/comptr.h"
#include "test_util.h"

namespace {

TEST(ComCheck, SuccessPassesAndTheFirstFailureLeavesTheSequence) {
    int reached = 0;
    try {
        com_check hr = S_OK;
        hr = S_FALSE;
        ++reached;
        hr = E_FAIL;
        ++reached;
    } catch (CComException* e) {
        EXPECT_EQ(e->GetHResult(), E_FAIL);
        // The system text, cut to the capacity.
        char text[64];
        UINT help = 77;
        EXPECT_TRUE(e->GetErrorMessage(text, sizeof(text), &help));
        EXPECT_THAT(text, kvtest::SystemText("Unspecified error"));
        EXPECT_EQ(help, 77u);
        const std::string whole = text;
        EXPECT_TRUE(e->GetErrorMessage(text, 10));
        EXPECT_EQ(text, whole.substr(0, 9));
        e->Delete();
    }
    EXPECT_EQ(reached, 1);
    EXPECT_STREQ(com_exception(static_cast<long>(0x8BADF00D)).what(), "Unknown error");
}

TEST(ComException, TakesAndConsumesTheThreadsErrorInformation) {
    CComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(OLESTR("The document is locked")));
    create->SetSource(const_cast<LPOLESTR>(OLESTR("Xml.Document")));
    create->SetGUID(IID_IClassFactory);
    CComPtr<IErrorInfo> info;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);

    com_exception e(E_FAIL);
    EXPECT_STREQ(e.what(), "The document is locked");
    EXPECT_EQ(U8(e.m_source), "Xml.Document");
    EXPECT_TRUE(IsEqualGUID(e.m_iid, IID_IClassFactory));
    EXPECT_TRUE(IsEqualGUID(e.m_clsid, GUID_NULL));  // no registered ProgIDs here
    EXPECT_THAT(com_exception(E_FAIL).what(), kvtest::SystemText("Unspecified error"));

    const com_exception copy(e);  // each copy owns its narrow text
    EXPECT_STREQ(copy.what(), e.what());
    EXPECT_NE(copy.what(), e.what());
}

}  // namespace
