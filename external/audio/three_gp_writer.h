// A 3GP file (brand "3gp6") of one MPEG-4 audio track, written from AAC
// access units of one fixed duration through our ISO media writer. The
// units are gathered in batches that become the file's chunks.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "external/audio/audio_specific_config.h"
#include "platform/isomedia/isomedia.h"

namespace nb::external::audio {

// Results: 0, a non-zero result of the ISO media writer passed through, or
// one of these.
enum ThreeGpResult : int {
    kThreeGpOk = 0,
    kThreeGpNoMemory = 101,
    kThreeGpNoOutputName = 102,
    kThreeGpCannotCreate = 103,
    kThreeGpNoWriter = 201,
    kThreeGpUnitTooLarge = 202,
};

struct ThreeGpSettings {
    std::span<const std::uint8_t> audio_specific_config;
    std::string output_path;
    std::uint32_t time_scale = 44100;  // units per second; also the sample rate given
    std::uint32_t bit_rate = 32000;
    std::uint32_t channels = 1;
    HeSignalling he = HeSignalling::On;  // 2048 time units per access unit, else 1024
};

class ThreeGpWriter {
   public:
    struct CreateResult {
        std::unique_ptr<ThreeGpWriter> writer;  // null on failure
        int result = kThreeGpOk;
    };
    // Sets up movie, track, media and sample description. The output file
    // is created (and left empty) to prove that it can be; 102 for an empty
    // name, 103 when it can't be created.
    [[nodiscard]] static CreateResult Create(const ThreeGpSettings& settings);
    // Releases the handles and the movie.
    ~ThreeGpWriter();
    ThreeGpWriter(const ThreeGpWriter&) = delete;
    ThreeGpWriter& operator=(const ThreeGpWriter&) = delete;

    // Queues one access unit; a full batch is handed to the media first.
    // An empty unit is nothing to do; one above MaxBatchBytes() is 202.
    [[nodiscard]] int AddAccessUnit(std::span<const std::uint8_t> unit);
    // Hands over the last batch, puts the whole media into the track and
    // writes the file.
    [[nodiscard]] int Finish();

    std::uint32_t MaxBatchBytes() const { return m_max_batch_bytes; }
    std::uint32_t MaxBatchUnits() const { return m_max_batch_units; }

   private:
    ThreeGpWriter() = default;
    int Set(const ThreeGpSettings& settings);
    int AddBatch();

    isomedia::MP4Movie m_movie = nullptr;
    isomedia::MP4Track m_track = nullptr;
    isomedia::MP4Media m_media = nullptr;
    isomedia::MP4Handle m_sample_description = nullptr;
    isomedia::MP4Handle m_sample_data = nullptr;
    isomedia::MP4Handle m_durations = nullptr;
    isomedia::MP4Handle m_sizes = nullptr;
    isomedia::MP4Handle m_decoder_info = nullptr;
    std::uint32_t m_max_batch_bytes = 0;
    std::uint32_t m_max_batch_units = 0;
    bool m_first_batch = true;
    std::uint32_t m_batch_units = 0;
    std::string m_output_path;
};

// The same for a writer that may be missing: 201 without one.
[[nodiscard]] int AddAccessUnit(ThreeGpWriter* writer, std::span<const std::uint8_t> unit);
[[nodiscard]] int FinishThreeGp(ThreeGpWriter* writer);

}  // namespace nb::external::audio
