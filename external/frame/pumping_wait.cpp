#include "external/frame/pumping_wait.h"

#include "platform/messaging/messaging.h"

namespace nb::external {

void PumpingWait::Wait(DWORD milliseconds) {
    if (!m_event) {
        Sleep(milliseconds);
        return;
    }
    DWORD index = 0;
    CoWaitForMultipleHandles(COWAIT_ALERTABLE, milliseconds, 1, &m_event, &index);
}

}  // namespace nb::external
