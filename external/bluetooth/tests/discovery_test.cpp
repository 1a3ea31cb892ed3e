// EX_BTDiscover through the real module against python3-dbusmock's
// bluetoothd on a private system bus: devices known before, devices found
// while the discovery runs, names that come late, and every way it ends.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "external/bluetooth/tests/bluez_mock.h"
#include "external/bluetooth/tests/push_test_support.h"
#include "platform/text/code_pages.h"

// GLib, GObject and GIO are not built with ThreadSanitizer, which cannot see
// their own locks and so reports their threads' work on their own data (the
// bus connections' worker threads); what this code does with them stays
// checked.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libgobject-2.0.so.0\n"
           "called_from_lib:libgio-2.0.so.0\n"
           "race:libglib-2.0.so.0\n"
           "race:libgobject-2.0.so.0\n"
           "race:libgio-2.0.so.0\n";
}

namespace nb::external::bluetooth::testing {
namespace {

using nb::external::testing::ReceivedValue;
using nb::external::testing::Report;
using nb::external::testing::ReportKind;
using nb::external::testing::ScopedVariable;
using nb::external::testing::ShellDouble;

// A device callback as the script receives it: 3300, the name or null, the address.
struct DeviceReport {
    std::optional<std::u16string> name;
    std::u16string address;
    bool operator==(const DeviceReport&) const = default;
};
void PrintTo(const DeviceReport& r, std::ostream* os) {
    *os << (r.name ? '"' + ToUtf8(*r.name) + '"' : std::string("null")) << ' ' << ToUtf8(r.address);
}

struct DiscoveryRun {
    std::vector<DeviceReport> devices;
    std::vector<LONGLONG> statuses;  // the status calls
    DWORD exit_code = 0;
};

DiscoveryRun Collect(const WorkerRun& run) {
    DiscoveryRun collected;
    collected.exit_code = run.exit_code;
    for (const Report& report : run.reports) {
        if (report.kind == ReportKind::Notify) {
            collected.statuses.push_back(report.arguments.at(0).number);
            continue;
        }
        EXPECT_EQ(report.arguments.size(), 3u);
        if (report.arguments.size() != 3) continue;
        EXPECT_EQ(report.arguments[0].number, 3300);
        const ReceivedValue& name = report.arguments[1];
        EXPECT_TRUE(name.type == VT_BSTR || name.type == VT_NULL);
        collected.devices.push_back({name.type == VT_BSTR ? std::optional(name.text) : std::nullopt,
                                     report.arguments[2].text});
    }
    return collected;
}

class DiscoveryTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(m_bus.ready());
        ASSERT_TRUE(m_bluez.ready());
    }
    DWORD Start() { return StartWorker(m_shell, "EX_BTDiscover", {}); }
    // Waits until the adapter discovers, handling the worker's reports meanwhile.
    bool WaitUntilDiscovering() {
        return m_shell.PumpUntil([&] { return m_bluez.Discovering("hci0"); }, 10000);
    }
    bool WaitForDevices(DWORD thread, std::size_t count) {
        return m_shell.PumpUntil([&] { return m_shell.ReportsOf(thread).size() >= count; }, 10000);
    }

    PrivateSystemBus m_bus;
    BluezMock m_bluez{m_bus};
    ShellDouble m_shell;
};

// Devices bluetoothd knew already come first, then those found, each once,
// as soon as it has a name; a device whose name never came is reported at
// the end with a null name. Addresses are written as EX_BTSend takes them.
// Devices of another adapter, and Low Energy ones, are not reported.
TEST_F(DiscoveryTest, ReportsEveryDeviceOnceWithItsNameAndAddress) {
    m_bluez.AddAdapter("hci1");
    m_bluez.AddAdapter("hci0");
    m_bluez.AddDevice("hci0", "00:11:22:33:44:55", "Known phone");
    m_bluez.AddDevice("hci1", "00:11:22:33:44:66", "Phone of the other adapter");
    const DWORD thread = Start();
    ASSERT_TRUE(WaitUntilDiscovering());
    m_bluez.AddDevice("hci0", "AA:BB:CC:DD:EE:01", "New phone");
    m_bluez.AddNamelessDevice("hci0", "aa:bb:cc:dd:ee:02");
    m_bluez.AddNamelessDevice("hci0", "AA:BB:CC:DD:EE:03");
    m_bluez.AddNamelessDevice("hci0", "4A:BB:CC:DD:EE:04", "random");
    m_bluez.AddDevice("hci1", "AA:BB:CC:DD:EE:05", "Found by the other adapter");
    m_bluez.NameDevice("hci0", "AA:BB:CC:DD:EE:03", "Late name");
    ASSERT_TRUE(WaitForDevices(thread, 3));
    m_bluez.StopDiscovery("hci0");
    const DiscoveryRun run = Collect(FinishWorker(m_shell, thread));
    EXPECT_EQ(run.devices, (std::vector<DeviceReport>{{u"Known phone", u"00:11:22:33:44:55"},
                                                      {u"New phone", u"AA:BB:CC:DD:EE:01"},
                                                      {u"Late name", u"AA:BB:CC:DD:EE:03"},
                                                      {std::nullopt, u"AA:BB:CC:DD:EE:02"}}));
    EXPECT_EQ(run.statuses, std::vector<LONGLONG>{3302});
    EXPECT_EQ(run.exit_code, NB_WORKER_EXIT_NORMAL);
}

// Left alone, a discovery lasts as long as a BR/EDR inquiry, then stops
// the adapter's discovery and finishes.
TEST_F(DiscoveryTest, EndsByItselfAfterTheInquiryTime) {
    m_bluez.AddAdapter("hci0");
    const DWORD start = GetTickCount();
    const DWORD thread = Start();
    ASSERT_TRUE(WaitUntilDiscovering());
    m_bluez.AddDevice("hci0", "AA:BB:CC:DD:EE:01", "Phone");
    const DiscoveryRun run = Collect(FinishWorker(m_shell, thread));
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(run.devices, (std::vector<DeviceReport>{{u"Phone", u"AA:BB:CC:DD:EE:01"}}));
    EXPECT_EQ(run.statuses, std::vector<LONGLONG>{3302});
    EXPECT_GE(elapsed, 10240u);
    EXPECT_LT(elapsed, 14000u);
    EXPECT_FALSE(m_bluez.Discovering("hci0"));
}

// The shell's stop ends the discovery at once with 3301, and the adapter
// stops discovering.
TEST_F(DiscoveryTest, TheStopCommandEndsIt) {
    m_bluez.AddAdapter("hci0");
    const DWORD thread = Start();
    ASSERT_TRUE(WaitUntilDiscovering());
    m_bluez.AddDevice("hci0", "AA:BB:CC:DD:EE:01", "Phone");
    ASSERT_TRUE(WaitForDevices(thread, 1));
    const DWORD stopped = GetTickCount();
    m_shell.SendCommand(thread, 1);
    const DiscoveryRun run = Collect(FinishWorker(m_shell, thread));
    EXPECT_LT(GetTickCount() - stopped, 2000u);
    EXPECT_EQ(run.devices.size(), 1u);
    EXPECT_EQ(run.statuses, std::vector<LONGLONG>{3301});
    EXPECT_FALSE(m_bluez.Discovering("hci0"));
}

struct EndCase {
    const char* name;
    std::function<void(BluezMock&)> end;
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class StackEnds : public DiscoveryTest, public ::testing::WithParamInterface<EndCase> {};

// However bluetoothd ends the discovery, the worker finishes with 3302
// after the devices it found.
TEST_P(StackEnds, TheDiscoveryFinishes) {
    m_bluez.AddAdapter("hci0");
    const DWORD thread = Start();
    ASSERT_TRUE(WaitUntilDiscovering());
    m_bluez.AddDevice("hci0", "AA:BB:CC:DD:EE:01", "Phone");
    ASSERT_TRUE(WaitForDevices(thread, 1));
    const DWORD ended = GetTickCount();
    GetParam().end(m_bluez);
    const DiscoveryRun run = Collect(FinishWorker(m_shell, thread));
    EXPECT_LT(GetTickCount() - ended, 5000u);
    EXPECT_EQ(run.devices.size(), 1u);
    EXPECT_EQ(run.statuses, std::vector<LONGLONG>{3302});
}

INSTANTIATE_TEST_SUITE_P(
    Ways, StackEnds,
    ::testing::Values(EndCase{"the inquiry ends", [](BluezMock& b) { b.StopDiscovery("hci0"); }},
                      EndCase{"the adapter goes", [](BluezMock& b) { b.RemoveAdapter("hci0"); }},
                      EndCase{"bluetoothd goes", [](BluezMock& b) { b.Quit(); }}));

// An adapter that refuses to discover (powered off) gives no device and 3302.
TEST_F(DiscoveryTest, AnAdapterThatRefusesFinishesAtOnce) {
    m_bluez.AddRefusingAdapter("hci0");
    const DiscoveryRun run = Collect(RunWorker(m_shell, "EX_BTDiscover", {}));
    EXPECT_TRUE(run.devices.empty());
    EXPECT_EQ(run.statuses, std::vector<LONGLONG>{3302});
}

// Whatever arguments come, none is read.
TEST_F(DiscoveryTest, TakesAnyArguments) {
    m_bluez.AddAdapter("hci0");
    m_bluez.AddDevice("hci0", "AA:BB:CC:DD:EE:01", "Phone");
    const DWORD thread =
        StartWorker(m_shell, "EX_BTDiscover", {LONG{1}, std::u16string(u"x"), true, nullptr});
    ASSERT_TRUE(WaitForDevices(thread, 1));
    m_shell.SendCommand(thread, 1);
    EXPECT_EQ(Collect(FinishWorker(m_shell, thread)).devices.size(), 1u);
}

// Without Bluetooth (no system bus, no bluetoothd, no adapter) the one
// report is 3202, quickly.
TEST(DiscoveryWithoutBluetooth, ReportsNoBluetooth) {
    const auto expect_no_bluetooth = [](const char* what) {
        ShellDouble shell;
        const DWORD start = GetTickCount();
        const DiscoveryRun run = Collect(RunWorker(shell, "EX_BTDiscover", {}));
        EXPECT_LT(GetTickCount() - start, 4000u) << what;
        EXPECT_TRUE(run.devices.empty()) << what;
        EXPECT_EQ(run.statuses, std::vector<LONGLONG>{3202}) << what;
    };
    {
        ScopedVariable no_bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus");
        expect_no_bluetooth("no system bus");
    }
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.ready());
    expect_no_bluetooth("no bluetoothd");
    BluezMock bluez(bus);
    ASSERT_TRUE(bluez.ready());
    expect_no_bluetooth("no adapter");
}

}  // namespace
}  // namespace nb::external::bluetooth::testing
