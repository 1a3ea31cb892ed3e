// Format 4010 in a build without the HE-AAC v2 encoder (NB_RINGTONE_HEAAC
// off): the encoder cannot be opened.
#include "external/audio/make_ringtone_job.h"

namespace nb::external::audio {

RingtoneOutputResult CreateThreeGpOutput(const std::string&) {
    return Unexpected(DWORD{kRingtoneEncoderNotOpened});
}

}  // namespace nb::external::audio
