// The bookkeeping of one discovery, fed with properties as bluetoothd sends
// them: each device reported once, named ones first, in the order they got
// their name.
#include "external/bluetooth/found_devices.h"

#include <gtest/gtest.h>

#include "platform/glib/owned.h"

namespace nb::external::bluetooth {
namespace {

// a{sv} of text properties; a null value leaves the key out.
glib::Variant Properties(std::initializer_list<std::pair<const char*, const char*>> entries) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    for (const auto& [key, value] : entries)
        if (value) g_variant_builder_add(&builder, "{sv}", key, g_variant_new_string(value));
    return glib::Take(g_variant_builder_end(&builder));
}

TEST(FoundDevices, ReportsNamedDevicesAsTheyComeAndNamelessOnesAtTheEnd) {
    FoundDevices devices;
    devices.Add("/a", Properties({{"Address", "00:11:22:33:44:55"}}).get());
    devices.Add("/b", Properties({{"Address", "00:11:22:33:44:66"}, {"Name", "B"}}).get());
    devices.Add("/c", Properties({{"Address", "00:11:22:33:44:77"}}).get());
    EXPECT_EQ(devices.TakeNamed(), (FoundDevice{u"00:11:22:33:44:66", u"B"}));
    EXPECT_EQ(devices.TakeNamed(), std::nullopt);
    devices.Change("/c", Properties({{"Name", "C"}}).get());
    devices.Change("/b", Properties({{"Name", "B again"}}).get());  // reported already
    devices.Change("/unknown", Properties({{"Name", "X"}}).get());
    EXPECT_EQ(devices.TakeNamed(), (FoundDevice{u"00:11:22:33:44:77", u"C"}));
    EXPECT_EQ(devices.TakeNamed(), std::nullopt);
    EXPECT_EQ(devices.TakeNameless(),
              (std::vector<FoundDevice>{{u"00:11:22:33:44:55", std::nullopt}}));
    EXPECT_TRUE(devices.TakeNameless().empty());
    devices.Change("/a", Properties({{"Name", "A, too late"}}).get());
    EXPECT_EQ(devices.TakeNamed(), std::nullopt);
}

// Devices whose address EX_BTSend could not take, Low Energy ones, and a
// path seen before are left out; addresses come out in upper case.
TEST(FoundDevices, LeavesOutWhatCannotBePushedTo) {
    FoundDevices devices;
    devices.Add("/none", Properties({{"Name", "No address"}}).get());
    devices.Add("/bad", Properties({{"Address", "00:11:22:33:44"}, {"Name", "Bad"}}).get());
    devices.Add(
        "/le",
        Properties({{"Address", "4A:11:22:33:44:55"}, {"AddressType", "random"}, {"Name", "Tag"}})
            .get());
    devices.Add(
        "/ok",
        Properties({{"Address", "aa:bb:cc:dd:ee:ff"}, {"AddressType", "public"}, {"Name", "Phone"}})
            .get());
    devices.Add("/ok", Properties({{"Address", "aa:bb:cc:dd:ee:ff"}, {"Name", "Twice"}}).get());
    EXPECT_EQ(devices.TakeNamed(), (FoundDevice{u"AA:BB:CC:DD:EE:FF", u"Phone"}));
    EXPECT_EQ(devices.TakeNamed(), std::nullopt);
    EXPECT_TRUE(devices.TakeNameless().empty());
}

// A name of the wrong type is no name.
TEST(FoundDevices, ANameThatIsNoTextIsNoName) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "Address", g_variant_new_string("00:11:22:33:44:55"));
    g_variant_builder_add(&builder, "{sv}", "Name", g_variant_new_int32(7));
    const glib::Variant properties = glib::Take(g_variant_builder_end(&builder));
    FoundDevices devices;
    devices.Add("/a", properties.get());
    EXPECT_EQ(devices.TakeNamed(), std::nullopt);
    EXPECT_EQ(devices.TakeNameless().size(), 1u);
}

}  // namespace
}  // namespace nb::external::bluetooth
