// The stretch of a wave file the player plays: where it starts and how long
// it is in whole frames, the fades fitted into it, and its samples read
// pass after pass with the volume and fades applied.
#pragma once

#include <cstdint>
#include <span>

#include "external/audio/playback_job.h"
#include "external/audio/ringtone_shape.h"
#include "external/frame/job_files.h"
#include "platform/kernel/expected.h"

namespace nb::external::audio {

// Volume in per cent as the script gives it: above 200 (negative values
// taken unsigned) plays at 200.
DWORD PlaybackVolume(DWORD requested_percent);

// trunc(ms x 44.1) frames, as a count of samples (two a frame). The player
// truncates where the ringtone maker rounds; whole frames keep left and
// right in their places whatever the start.
std::uint64_t PlaybackSamples(DWORD milliseconds);

struct StretchPlan {
    std::uint64_t start = 0;   // samples into the sound
    std::uint64_t length = 0;  // samples, never past the end of the sound
    RingtoneShape shape;       // fades fitted into the length; the volume
};

// The stretch of a sound of total samples, or kPlaybackStartAtEnd when the
// start leaves nothing to play (at the end of the sound, or past it).
Expected<StretchPlan, DWORD> PlanStretch(const PlaybackRequest& request, std::uint64_t total);

class StretchReader {
   public:
    // Opens the file and checks its header: kPlaybackNotOpened,
    // kPlaybackHeaderShort, kPlaybackWrongFormat or kPlaybackStartAtEnd
    // when there is nothing to play. A stream is refused: every pass seeks.
    static Expected<StretchReader, DWORD> Open(const PlaybackRequest& request, JobChannel& channel);

    const StretchPlan& plan() const { return m_plan; }
    DWORD LengthMs() const;

    // A pass begins at the start of the stretch. False when the seek fails.
    [[nodiscard]] bool Rewind();

    // Reads the pass's next samples into block (an even count at most) and
    // shapes them at volume_percent: the count read, whole frames, 0 once
    // the pass is over. A file shorter than its header says ends the pass
    // where its sound ends.
    std::size_t Read(std::span<std::int16_t> block, DWORD volume_percent);

    // Samples this pass has read so far.
    std::uint64_t PassSamples() const { return m_read; }

   private:
    StretchReader(JobInput input, const StretchPlan& plan)
        : m_input(std::move(input)), m_plan(plan) {}

    JobInput m_input;
    StretchPlan m_plan;
    std::uint64_t m_read = 0;
    bool m_ended = false;  // the file ended inside this pass
};

}  // namespace nb::external::audio
