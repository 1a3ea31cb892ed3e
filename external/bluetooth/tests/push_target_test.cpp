// The two forms of target EX_BTSend takes, and every text that is neither.
#include "external/bluetooth/push_target.h"

#include <gtest/gtest.h>

#include <ostream>

#include "platform/text/code_pages.h"

namespace nb::external::bluetooth {
namespace {

struct TargetCase {
    std::u16string text;
    std::optional<PushTarget> expected;
};
void PrintTo(const TargetCase& c, std::ostream* os) { *os << '"' << ToUtf8(c.text) << '"'; }

class Targets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(Targets, AreReadAsTheirForm) {
    EXPECT_EQ(ParsePushTarget(GetParam().text), GetParam().expected);
}

const BluetoothAddress kPhone{{0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13}};

INSTANTIATE_TEST_SUITE_P(
    Texts, Targets,
    ::testing::Values(
        TargetCase{u"00:1A:7D:DA:71:13", kPhone}, TargetCase{u"00:1a:7d:da:71:13", kPhone},
        TargetCase{u"(00:1A:7D:DA:71:13)", kPhone},
        TargetCase{u"phone.local:650", NetworkAddress{"phone.local", "650"}},
        TargetCase{u"127.0.0.1:0650", NetworkAddress{"127.0.0.1", "650"}},
        TargetCase{u"[::1]:650", NetworkAddress{"::1", "650"}},
        TargetCase{u"localhost:65535", NetworkAddress{"localhost", "65535"}},
        // Neither form.
        TargetCase{u"", std::nullopt}, TargetCase{u"00:1A:7D:DA:71", std::nullopt},
        TargetCase{u"00:1A:7D:DA:71:1G", std::nullopt},
        TargetCase{u"00-1A-7D-DA-71-13", std::nullopt},
        TargetCase{u"001A:7D:DA:71:13:", std::nullopt},
        TargetCase{u" 00:1A:7D:DA:71:13", std::nullopt},
        TargetCase{u"(00:1A:7D:DA:71:13", std::nullopt}, TargetCase{u"localhost", std::nullopt},
        TargetCase{u"localhost:", std::nullopt}, TargetCase{u":650", std::nullopt},
        TargetCase{u"localhost:0", std::nullopt}, TargetCase{u"localhost:65536", std::nullopt},
        TargetCase{u"localhost:6a5", std::nullopt}, TargetCase{u"localhost:+650", std::nullopt},
        TargetCase{u"::1:650", std::nullopt}, TargetCase{u"[]:650", std::nullopt},
        TargetCase{u"my phone:650", std::nullopt},
        TargetCase{u"t\u00e9l\u00e9phone:650", std::nullopt},
        TargetCase{u"host\n:650", std::nullopt}));

// Discovery reports addresses in the form the parser reads back.
TEST(BluetoothAddressText, IsUpperCaseHexBytesMostSignificantFirst) {
    EXPECT_EQ(FormatBluetoothAddress(kPhone), u"00:1A:7D:DA:71:13");
    const BluetoothAddress every{{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}};
    EXPECT_EQ(ParseBluetoothAddress(FormatBluetoothAddress(every)), every);
    EXPECT_EQ(FormatBluetoothAddress(*ParseBluetoothAddress(u"fe:dc:ba:98:76:54")),
              u"FE:DC:BA:98:76:54");
}

}  // namespace
}  // namespace nb::external::bluetooth
