// Putting a finished info tag frame into an MP3 file in place of the empty
// frame the encoder left at the start of the sound for it.
#pragma once

#include <cstdint>
#include <span>

namespace nb::lame_enc {

// Opens file_name (UTF-8) for reading and writing, skips an ID3v2 tag at its
// start, and overwrites the frame found there with tag_frame. False when the
// file cannot be opened, read or written, or the frame there is not one of
// the same kind and length (its first three header bytes differ).
[[nodiscard]] bool WriteInfoTagFrame(const char* file_name,
                                     std::span<const std::uint8_t> tag_frame);

}  // namespace nb::lame_enc
