#include "external/audio/three_gp_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/kernel/no_throw.h"

namespace nb::external::audio {
namespace {

using namespace nb::isomedia;

constexpr std::uint8_t kNoCapability = 0xFF;
constexpr std::uint8_t kHighEfficiencyAudioProfile = 0x2C;
constexpr std::uint32_t kObjectDescriptorId = 1;
constexpr std::uint32_t kObjectTypeMpeg4Audio = 0x40;
constexpr std::uint32_t kStreamTypeAudio = 5;
constexpr std::uint32_t kDecoderBufferPerChannel = 768;
constexpr std::uint32_t kHeUnitDuration = 2048;
constexpr std::uint32_t kLcUnitDuration = 1024;
// A channel element holds at most 6144 bits (ISO/IEC 14496-3, 4.5.3.2).
constexpr std::uint32_t kMaxBitsPerChannel = 6144;
constexpr std::uint32_t kMaxBatchBitsPerChannel = 65536;

void WriteValue(MP4Handle handle, std::size_t index, std::uint32_t value) {
    std::memcpy(MP4HandleData(handle) + index * sizeof value, &value, sizeof value);
}

}  // namespace

ThreeGpWriter::CreateResult ThreeGpWriter::Create(const ThreeGpSettings& settings) {
    CreateResult created;
    created.result = NoThrow(
        [&] {
            std::unique_ptr<ThreeGpWriter> writer(new ThreeGpWriter());
            const int result = writer->Set(settings);
            if (result == kThreeGpOk) created.writer = std::move(writer);
            return result;
        },
        kThreeGpNoMemory);
    return created;
}

int ThreeGpWriter::Set(const ThreeGpSettings& settings) {
    if (settings.output_path.empty()) return kThreeGpNoOutputName;
    const bool he = settings.he == HeSignalling::On;
    if (MP4Err err = MP4NewMovie(&m_movie, kObjectDescriptorId, kNoCapability, kNoCapability,
                                 he ? kHighEfficiencyAudioProfile : kNoCapability, kNoCapability,
                                 kNoCapability))
        return err;
    if (MP4Err err = ISOSetMovieBrand(m_movie, FourCC("3gp6"), 0)) return err;
    if (he) {
        for (const std::uint32_t brand : {FourCC("3g2a"), FourCC("mp42")})
            if (MP4Err err = ISOSetMovieCompatibleBrand(m_movie, brand)) return err;
    }
    if (MP4Err err = MP4NewMovieTrack(m_movie, kMP4AudioTrack, &m_track)) return err;
    if (MP4Err err =
            MP4NewTrackMedia(m_track, &m_media, FourCC("soun"), settings.time_scale, nullptr))
        return err;
    if (MP4Err err = MP4BeginMediaEdits(m_media)) return err;
    if (MP4Err err = MP4SetMediaLanguage(m_media, "und")) return err;

    const std::vector<std::uint8_t> info = DecoderSpecificInfo(settings.audio_specific_config);
    if (MP4Err err = MP4NewHandle(static_cast<std::uint32_t>(info.size()), &m_decoder_info))
        return err;
    std::copy(info.begin(), info.end(), MP4HandleData(m_decoder_info));
    if (MP4Err err = MP4NewHandle(0, &m_sample_description)) return err;
    if (MP4Err err =
            MP4NewSampleDescription(m_track, m_sample_description, 1, kObjectTypeMpeg4Audio,
                                    kStreamTypeAudio, settings.channels * kDecoderBufferPerChannel,
                                    settings.bit_rate, settings.bit_rate, m_decoder_info))
        return err;

    // Half a second of units a batch, and no more bytes than that many
    // units may hold at the bit rate plus one maximal unit.
    const std::uint32_t duration = he ? kHeUnitDuration : kLcUnitDuration;
    m_max_batch_units = std::max<std::uint32_t>(1, settings.time_scale / 2 / duration);
    const std::uint64_t batch_bits =
        std::min<std::uint64_t>(std::uint64_t{settings.bit_rate} / 2 +
                                    std::uint64_t{settings.channels} * kMaxBitsPerChannel + 7,
                                std::uint64_t{settings.channels} * kMaxBatchBitsPerChannel);
    m_max_batch_bytes = static_cast<std::uint32_t>(batch_bits / 8);

    if (MP4Err err = MP4NewHandle(sizeof(std::uint32_t), &m_durations)) return err;
    WriteValue(m_durations, 0, duration);
    if (MP4Err err = MP4NewHandle(m_max_batch_bytes, &m_sample_data)) return err;
    if (MP4Err err = MP4SetHandleSize(m_sample_data, 0)) return err;
    if (MP4Err err = MP4NewHandle(m_max_batch_units * 4, &m_sizes)) return err;
    if (MP4Err err = MP4SetHandleSize(m_sizes, 0)) return err;

    std::FILE* probe = std::fopen(settings.output_path.c_str(), "wb");
    if (!probe) return kThreeGpCannotCreate;
    std::fclose(probe);
    m_output_path = settings.output_path;
    return kThreeGpOk;
}

ThreeGpWriter::~ThreeGpWriter() {
    for (MP4Handle handle :
         {m_sample_description, m_sample_data, m_durations, m_sizes, m_decoder_info})
        MP4DisposeHandle(handle);
    MP4DisposeMovie(m_movie);
}

int ThreeGpWriter::AddBatch() {
    const MP4Err err =
        MP4AddMediaSamples(m_media, m_sample_data, m_batch_units, m_durations, m_sizes,
                           m_first_batch ? m_sample_description : nullptr, nullptr, nullptr);
    if (err) return err;
    m_first_batch = false;
    m_batch_units = 0;
    if (MP4Err cleared = MP4SetHandleSize(m_sample_data, 0)) return cleared;
    return MP4SetHandleSize(m_sizes, 0);
}

int ThreeGpWriter::AddAccessUnit(std::span<const std::uint8_t> unit) {
    if (unit.empty()) return kThreeGpOk;
    if (unit.size() > m_max_batch_bytes) return kThreeGpUnitTooLarge;
    std::uint32_t batch_bytes = 0;
    if (MP4Err err = MP4GetHandleSize(m_sample_data, &batch_bytes)) return err;
    if (m_batch_units == m_max_batch_units ||
        (m_batch_units > 0 && batch_bytes + unit.size() > m_max_batch_bytes)) {
        if (int added = AddBatch()) return added;
        batch_bytes = 0;
    }
    const auto size = static_cast<std::uint32_t>(unit.size());
    if (MP4Err err = MP4SetHandleSize(m_sample_data, batch_bytes + size)) return err;
    std::copy(unit.begin(), unit.end(), MP4HandleData(m_sample_data) + batch_bytes);
    if (MP4Err err = MP4SetHandleSize(m_sizes, (m_batch_units + 1) * 4)) return err;
    WriteValue(m_sizes, m_batch_units, size);
    ++m_batch_units;
    return kThreeGpOk;
}

int ThreeGpWriter::Finish() {
    // A stream without units still gets its sample description.
    if (m_batch_units > 0 || m_first_batch)
        if (int added = AddBatch()) return added;
    std::uint64_t duration = 0;
    if (MP4Err err = MP4GetMediaDuration(m_media, &duration)) return err;
    if (MP4Err err = MP4EndMediaEdits(m_media)) return err;
    if (MP4Err err = MP4InsertMediaIntoTrack(m_track, 0, 0, duration, 1)) return err;
    return MP4WriteMovieToFile(m_movie, m_output_path.c_str());
}

int AddAccessUnit(ThreeGpWriter* writer, std::span<const std::uint8_t> unit) {
    return writer ? writer->AddAccessUnit(unit) : kThreeGpNoWriter;
}

int FinishThreeGp(ThreeGpWriter* writer) { return writer ? writer->Finish() : kThreeGpNoWriter; }

}  // namespace nb::external::audio
