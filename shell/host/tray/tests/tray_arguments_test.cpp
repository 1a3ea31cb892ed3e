// The argument rules of the notification-area and shutdown methods.
#include "shell/host/tray/tray_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation/com_ptr.h"

namespace nb::shell {
namespace {

// Arguments in script order, stored last first as DISPPARAMS hold them.
class Arguments {
   public:
    Arguments& Text(std::u16string_view text) {
        VARIANT& v = Add();
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *this;
    }
    Arguments& Int(LONG value) {
        VARIANT& v = Add();
        v.vt = VT_I4;
        v.lVal = value;
        return *this;
    }
    Arguments& Real(double value) {
        VARIANT& v = Add();
        v.vt = VT_R8;
        v.dblVal = value;
        return *this;
    }
    Arguments& Null() {
        Add().vt = VT_NULL;
        return *this;
    }
    ~Arguments() {
        for (VARIANT& v : m_values) VariantClear(&v);
    }
    DISPPARAMS* Params() {
        m_reversed.assign(m_values.rbegin(), m_values.rend());
        m_params = {m_reversed.data(), nullptr, static_cast<UINT>(m_reversed.size()), 0};
        return &m_params;
    }

   private:
    VARIANT& Add() {
        m_values.emplace_back();
        VariantInit(&m_values.back());
        return m_values.back();
    }
    std::vector<VARIANT> m_values;
    std::vector<VARIANT> m_reversed;  // shallow copies; m_values owns
    DISPPARAMS m_params{};
};

TEST(TrayArguments, CutKeepsSurrogatePairsWhole) {
    EXPECT_EQ(CutUnits(u"abc", 5), u"abc");
    EXPECT_EQ(CutUnits(u"abcdef", 3), u"abc");
    EXPECT_EQ(CutUnits(u"ab\U0001F600", 3), u"ab");  // the pair would be split
    EXPECT_EQ(CutUnits(u"ab\U0001F600", 4), u"ab\U0001F600");
    EXPECT_EQ(CutUnits(u"abc", 0), u"");
}

TEST(TrayArguments, IconKinds) {
    const struct {
        std::int32_t kind;
        std::string_view name;
    } cases[] = {{0, ""},
                 {1, "dialog-information"},
                 {2, "dialog-warning"},
                 {3, "dialog-error"},
                 {4, "dialog-information"},
                 {-1, "dialog-information"}};
    for (const auto& c : cases)
        EXPECT_EQ(BalloonIconName(BalloonIconFromKind(c.kind)), c.name) << c.kind;
}

TEST(TrayArguments, BalloonWithTextOnlyTakesTheDefaults) {
    Arguments args;
    args.Text(u"hello");
    BalloonRequest request;
    request.timeout_ms = 1;
    ASSERT_EQ(ReadBalloonArguments(args.Params(), &request, nullptr), S_OK);
    EXPECT_EQ(request.text, u"hello");
    EXPECT_EQ(request.title, u"");
    EXPECT_EQ(request.timeout_ms, 10000);
    EXPECT_EQ(request.icon, BalloonIcon::kInformation);
}

TEST(TrayArguments, BalloonArgumentsCutAndConverted) {
    Arguments args;
    args.Text(std::u16string(300, u'x')).Text(std::u16string(100, u't')).Real(2500.0).Int(3);
    BalloonRequest request;
    ASSERT_EQ(ReadBalloonArguments(args.Params(), &request, nullptr), S_OK);
    EXPECT_EQ(request.text, std::u16string(255, u'x'));
    EXPECT_EQ(request.title, std::u16string(63, u't'));
    EXPECT_EQ(request.timeout_ms, 2500);
    EXPECT_EQ(request.icon, BalloonIcon::kError);

    // A number as title is its text; null, zero and unreadable values default.
    Arguments odd;
    odd.Text(u"t").Int(42).Int(0).Text(u"warning?");
    ASSERT_EQ(ReadBalloonArguments(odd.Params(), &request, nullptr), S_OK);
    EXPECT_EQ(request.title, u"42");
    EXPECT_EQ(request.timeout_ms, 10000);
    EXPECT_EQ(request.icon, BalloonIcon::kInformation);
    Arguments nulls;
    nulls.Text(u"t").Null().Null().Int(0);
    ASSERT_EQ(ReadBalloonArguments(nulls.Params(), &request, nullptr), S_OK);
    EXPECT_EQ(request.title, u"");
    EXPECT_EQ(request.icon, BalloonIcon::kNone);
}

TEST(TrayArguments, BalloonArgumentErrors) {
    BalloonRequest request;
    UINT position = 99;
    EXPECT_EQ(ReadBalloonArguments(nullptr, &request, &position), DISP_E_BADPARAMCOUNT);
    Arguments five;
    five.Text(u"a").Text(u"b").Int(1).Int(1).Int(1);
    EXPECT_EQ(ReadBalloonArguments(five.Params(), &request, &position), DISP_E_BADPARAMCOUNT);
    // The text is the first script argument: position count - 1.
    Arguments number_text;
    number_text.Int(5).Text(u"title").Int(100);
    EXPECT_EQ(ReadBalloonArguments(number_text.Params(), &request, &position), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(position, 2u);
}

TEST(TrayArguments, ShutdownReason) {
    std::u16string reason;
    UINT position = 99;
    Arguments long_reason;
    long_reason.Text(std::u16string(300, u'r'));
    ASSERT_EQ(ReadShutdownReason(long_reason.Params(), &reason, &position), S_OK);
    EXPECT_EQ(reason, std::u16string(256, u'r'));
    Arguments number;
    number.Int(1);
    EXPECT_EQ(ReadShutdownReason(number.Params(), &reason, &position), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(position, 0u);
    Arguments two;
    two.Text(u"a").Text(u"b");
    EXPECT_EQ(ReadShutdownReason(two.Params(), &reason, &position), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(ReadShutdownReason(nullptr, &reason, &position), DISP_E_BADPARAMCOUNT);
}

TEST(TrayArguments, IconFileBesideTheProgram) {
    EXPECT_EQ(IconFileBeside(u"/opt/app/NbBrowser"), "/opt/app/NbBrowser.png");
    EXPECT_EQ(IconFileBeside(u"/opt/my.app/NbBrowser"), "/opt/my.app/NbBrowser.png");
}

}  // namespace
}  // namespace nb::shell
