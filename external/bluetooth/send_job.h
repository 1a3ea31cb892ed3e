// Sending one file to a phone (or any OBEX server) by Object Push: the file
// opened and measured, the target connected, the object pushed. The
// operation behind EX_BTSend, independent of the thread that runs it.
#pragma once

#include <string>

#include "external/bluetooth/object_push.h"

namespace nb::external::bluetooth {

struct SendRequest {
    std::u16string target;       // a Bluetooth address or host:port
    std::string path;            // empty when the script gave none
    std::u16string object_name;  // empty: the file's own name
    DWORD interval_ms = 200;
};

// Runs the whole operation; every outcome reaches the channel as a report
// or the one status call. Returns the worker's exit code.
DWORD RunSend(JobChannel& channel, const SendRequest& request);

}  // namespace nb::external::bluetooth
