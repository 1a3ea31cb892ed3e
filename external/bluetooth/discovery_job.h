// Finding the Bluetooth devices in range: one inquiry on the default
// adapter, each device reported once with its name and address. The
// operation behind EX_BTDiscover, independent of the thread that runs it.
#pragma once

#include "external/frame/job_report.h"

namespace nb::external::bluetooth {

enum DiscoveryStatus : DWORD {
    // 3200 and 3201 told that the socket layer could not start; the bus
    // needs no starting, so they are never reported here.
    kDiscoveryNoBluetooth = 3202,  // no system bus, no bluetoothd or no adapter
    kDiscoveryDeviceFound = 3300,
    kDiscoveryStopped = 3301,
    kDiscoveryFinished = 3302,
};

// Three values: kDiscoveryDeviceFound, the name (null when it has none), the address.
constexpr CallbackLayout kDiscoveryLayout{.count = 3, .status = 1, .done = 0, .total = 0};

// As long as a BR/EDR inquiry lasts (10.24 s).
inline constexpr DWORD kInquiryMs = 10240;

struct DiscoveryRequest {
    DWORD inquiry_ms = kInquiryMs;
};

// Runs the whole operation; every outcome reaches the channel as a report
// or the one status call. Returns the worker's exit code.
DWORD RunDiscovery(JobChannel& channel, const DiscoveryRequest& request);

}  // namespace nb::external::bluetooth
