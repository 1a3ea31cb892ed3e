// Reading a configuration record into libmp3lame's settings.
#pragma once

#include <lame/lame.h>

#include "external/audio/lame_enc/lame_enc.h"

namespace nb::lame_enc {

// LAME_ENC_BAD_RECORD unless the record is of the full kind, its version and
// its size; LAME_ENC_OK otherwise.
[[nodiscard]] LameEncStatus CheckRecord(const LameEncConfig& config);

// Interleaved input channels the record's mode takes: 1 for mono, else 2.
int InputChannels(const LameEncConfig& config);

// Sets every setting of a checked record on a fresh encoder and lets it
// derive its parameters. LAME_ENC_BAD_SETTINGS for a value outside its set,
// an output rate of another MPEG version than asked, or a combination the
// encoder refuses.
[[nodiscard]] LameEncStatus ApplySettings(const LameEncConfig& config, lame_t encoder);

}  // namespace nb::lame_enc
