#include "external/system/output_capture.h"

namespace nb::external {

void OutputCapture::AddRead(std::string_view bytes) {
    if (!m_accepting) return;
    m_stored.append(bytes);
    if (m_stored.size() + kHeadroomBytes > kBufferBytes) m_accepting = false;
}

}  // namespace nb::external
