#include "external/bluetooth/discovery_job.h"

#include "external/bluetooth/bluez_inquiry.h"
#include "platform/kernel/kernel.h"

namespace nb::external::bluetooth {
namespace {

// Between two stop checks while bluetoothd is quiet.
constexpr unsigned kServeMs = 50;

// The device's callback, waited for: the next device is reported only after
// the script has handled this one.
void Report(JobReport& report, const FoundDevice& device) {
    JobChannel& channel = report.channel();
    channel.SetInteger(1, kDiscoveryDeviceFound);
    if (device.name)
        channel.SetString(2, *device.name);
    else
        channel.SetNull(2);
    channel.SetString(3, device.address);
    report.WaitedCallback();
}

// False when a stop came after one of them.
bool ReportNamed(JobReport& report, FoundDevices& devices) {
    while (const std::optional<FoundDevice> device = devices.TakeNamed()) {
        Report(report, *device);
        if (report.StopRequested()) return false;
    }
    return true;
}

DiscoveryStatus Discover(JobReport& report, BluezInquiry& inquiry, DWORD inquiry_ms) {
    const DWORD start = GetTickCount();
    while (inquiry.Running() && GetTickCount() - start < inquiry_ms) {
        if (!ReportNamed(report, inquiry.devices()) || report.StopRequested())
            return kDiscoveryStopped;
        inquiry.Serve(kServeMs);
    }
    if (!ReportNamed(report, inquiry.devices())) return kDiscoveryStopped;
    // Devices whose name never came are reported without one.
    for (const FoundDevice& device : inquiry.devices().TakeNameless()) {
        Report(report, device);
        if (report.StopRequested()) return kDiscoveryStopped;
    }
    return kDiscoveryFinished;
}

}  // namespace

DWORD RunDiscovery(JobChannel& channel, const DiscoveryRequest& request) {
    JobReport report(channel, kDiscoveryLayout, 0);
    const std::unique_ptr<BluezInquiry> inquiry = BluezInquiry::Open();
    if (!inquiry) return report.End(kDiscoveryNoBluetooth);
    const bool started = inquiry->Start();
    if (!report.Prepare()) return report.End(0);
    if (!started) return report.End(kDiscoveryFinished);
    return report.End(Discover(report, *inquiry, request.inquiry_ms));
}

}  // namespace nb::external::bluetooth
