#include "common/error_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

HRESULT FakeFillIn(EXCEPINFO*) { return S_OK; }

TEST(ErrorReport, FillsEveryFieldOfTheRecord) {
    // Stale values in every field show that each one is written.
    EXCEPINFO exception;
    exception.wCode = 1;
    exception.wReserved = 2;
    exception.bstrHelpFile = nullptr;
    exception.dwHelpContext = 77;
    exception.pvReserved = &exception;
    exception.pfnDeferredFillIn = &FakeFillIn;
    exception.scode = 5;

    EXPECT_EQ(NbReportError(&exception, u"FileSize", NB_ERROR_FILE_REQUEST,
                            u"Catastrophic: File not found"),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.wCode, 2105);
    EXPECT_EQ(exception.wReserved, 0);
    EXPECT_EQ(std::u16string(exception.bstrSource), u"External::FileSize");
    EXPECT_EQ(std::u16string(exception.bstrDescription), u"Catastrophic: File not found");
    EXPECT_EQ(exception.bstrHelpFile, nullptr);
    EXPECT_EQ(exception.dwHelpContext, 0u);
    EXPECT_EQ(exception.pvReserved, nullptr);
    EXPECT_EQ(exception.pfnDeferredFillIn, nullptr);
    EXPECT_EQ(exception.scode, -2105);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
}

TEST(ErrorReport, TakesAnySourceTextAsItIs) {
    EXCEPINFO exception{};
    EXPECT_EQ(
        NbFillExceptionInfo(&exception, u"Invoke", 1101, u"Function not found in NbExternal.dll"),
        DISP_E_EXCEPTION);
    EXPECT_EQ(exception.wCode, 1101);
    EXPECT_EQ(std::u16string(exception.bstrSource), u"Invoke");
    EXPECT_EQ(std::u16string(exception.bstrDescription), u"Function not found in NbExternal.dll");
    EXPECT_EQ(exception.scode, -1101);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
}

TEST(ErrorReport, WithoutARecordStillReportsTheException) {
    EXPECT_EQ(
        NbReportError(nullptr, u"GetRegVal", NB_ERROR_TYPE_MISMATCH, NB_MESSAGE_TYPE_MISMATCH),
        DISP_E_EXCEPTION);
}

}  // namespace
