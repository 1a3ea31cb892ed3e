// Frames from a web process are outside input to the shell.
#include <cstddef>
#include <cstdint>

#include "shell/channel/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nb::shell::Frame frame;
    if (nb::shell::DecodeFrame(data, size, &frame)) {
        // A frame that decodes must encode again.
        const std::string again = nb::shell::EncodeFrame(frame);
        if (again.size() < sizeof(std::uint32_t)) __builtin_trap();
    }
    return 0;
}
