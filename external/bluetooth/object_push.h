// OBEX Object Push of one file over a connected stream: CONNECT, the object's
// description, the body in packets as large as the peer allows, DISCONNECT,
// with the script's progress reports between the packets.
#pragma once

#include <cstdint>
#include <string>

#include "external/frame/job_files.h"
#include "external/frame/job_report.h"

namespace nb::external::bluetooth {

// The callback's first value: failures and the end are status calls.
enum SendStatus : DWORD {
    kSendOk = 0,  // internal only: the step went well
    kSendFileNotOpened = 3200,
    kSendFileSizeUnavailable = 3201,
    // 3202 and 3203 told that the socket layer could not start; this one
    // needs no starting, so they are never reported here.
    kSendNoSocket = 3204,
    kSendBadAddress = 3205,
    kSendNotConnected = 3206,
    kSendConnectFailed = 3207,
    kSendDescriptionFailed = 3208,
    kSendBodyFailed = 3210,
    kSendDisconnectFailed = 3211,
    kSendProgress = 3300,
    kSendRefusedOrStopped = 3301,
    kSendDelivered = 3302,
};

// Three integers: always kSendProgress, bytes sent, the file's size.
constexpr CallbackLayout kSendLayout{.count = 3, .status = 1, .done = 2, .total = 3};

struct PushedFile {
    JobInput& input;
    std::uint32_t size = 0;  // never 0
    std::u16string name;     // as the peer is to call it
    DWORD interval_ms = 200;
};

// The whole conversation on fd; the status to end the job with:
// kSendDelivered once the peer confirmed the object and the disconnect.
SendStatus PushObject(JobReport& report, int fd, const PushedFile& file);

}  // namespace nb::external::bluetooth
