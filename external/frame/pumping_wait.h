// Short waits that keep the calling thread's messages flowing: a private
// auto-reset event that nobody signals, waited on with
// CoWaitForMultipleHandles, so sent messages and COM calls are still served.
#pragma once

#include "platform/kernel/kernel.h"

namespace nb::external {

class PumpingWait {
   public:
    PumpingWait() : m_event(CreateEventW(nullptr, 0, 0, nullptr)) {}
    ~PumpingWait() {
        if (m_event) CloseHandle(m_event);
    }
    PumpingWait(const PumpingWait&) = delete;
    PumpingWait& operator=(const PumpingWait&) = delete;

    // Pumps for about milliseconds. Without an event it still pauses.
    void Wait(DWORD milliseconds);

   private:
    HANDLE m_event;
};

}  // namespace nb::external
