#include "heaac/channel_frame.h"

namespace heaac {

int ChannelFrame::band_start(int group, int band) const {
    int start = 0;
    for (int g = 0; g < group; ++g)
        start += group_length[static_cast<std::size_t>(g)] * band_offsets.back();
    return start + group_length[static_cast<std::size_t>(group)] *
                       band_offsets[static_cast<std::size_t>(band)];
}

int ChannelFrame::band_length(int group, int band) const {
    const auto b = static_cast<std::size_t>(band);
    return group_length[static_cast<std::size_t>(group)] * (band_offsets[b + 1] - band_offsets[b]);
}

std::span<const int> ChannelFrame::band_values(int group, int band) const {
    return std::span<const int>(quantized).subspan(
        static_cast<std::size_t>(band_start(group, band)),
        static_cast<std::size_t>(band_length(group, band)));
}

}  // namespace heaac
