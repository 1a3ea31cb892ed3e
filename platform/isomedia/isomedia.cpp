// The isomedia calls: building the movie in memory, and writing it.
#include "platform/isomedia/isomedia.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <new>

#include "platform/isomedia/box_buffer.h"
#include "platform/isomedia/movie_records.h"
#include "platform/kernel/no_throw.h"

namespace nb::isomedia {
namespace {

constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint8_t kEsDescriptorTag = 0x03;
constexpr std::uint8_t kDecoderConfigTag = 0x04;
constexpr std::uint8_t kDecoderSpecificInfoTag = 0x05;
constexpr std::uint8_t kSyncLayerConfigTag = 0x06;
constexpr std::uint8_t kSyncLayerPredefinedMp4 = 0x02;
constexpr std::uint64_t kSecondsFrom1904To1970 = 2082844800;
constexpr std::uint32_t kSampleEntryChannels = 2;
constexpr std::uint32_t kSampleEntryBits = 16;

// No exception leaves a call: a failed allocation is a result.
template <typename Body>
MP4Err Guarded(Body body) noexcept {
    return nb::NoThrow(body, kMP4NoMemoryErr, kMP4BadParamErr);
}

std::uint32_t ReadValue(const MP4HandleRecord& handle, std::uint32_t index) {
    std::uint32_t value = 0;
    std::memcpy(&value, handle.bytes.data() + std::size_t{index} * 4, sizeof value);
    return value;
}

// A handle of 32-bit values holds one for every sample or one per sample;
// answers whether it does, for count samples.
bool HoldsValuesFor(const MP4HandleRecord& handle, std::uint32_t count) {
    return handle.bytes.size() == 4 || handle.bytes.size() == std::size_t{count} * 4;
}

std::uint32_t ValueOf(const MP4HandleRecord& handle, std::uint32_t sample) {
    return ReadValue(handle, handle.bytes.size() == 4 ? 0 : sample);
}

std::vector<std::uint8_t> AudioSampleEntry(std::uint32_t data_reference_index,
                                           std::uint32_t time_scale,
                                           std::span<const std::uint8_t> decoder_config) {
    BoxBuffer box;
    const std::size_t mp4a = box.BeginBox(FourCC("mp4a"));
    box.PutZeros(6);
    box.Put16(data_reference_index);
    box.PutZeros(8);
    box.Put16(kSampleEntryChannels);
    box.Put16(kSampleEntryBits);
    box.Put16(0);  // pre_defined
    box.Put16(0);
    // 16.16 fixed point: rates above 65535 do not fit and are written as 0.
    box.Put32(time_scale <= 0xFFFF ? time_scale << 16 : 0);

    BoxBuffer sync_layer;
    sync_layer.Put8(kSyncLayerPredefinedMp4);
    BoxBuffer es;
    es.Put16(0);  // ES_ID: set by the file format
    es.Put8(0);   // no dependence, no URL, no OCR stream, priority 0
    es.PutDescriptor(kDecoderConfigTag, decoder_config);
    es.PutDescriptor(kSyncLayerConfigTag, sync_layer.bytes());
    const std::size_t esds = box.BeginFullBox(FourCC("esds"), 0, 0);
    box.PutDescriptor(kEsDescriptorTag, es.bytes());
    box.EndBox(esds);
    box.EndBox(mp4a);
    return box.Take();
}

bool WriteAll(std::FILE* file, std::span<const std::uint8_t> bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

MP4Err MP4NewHandle(std::uint32_t size, MP4Handle* out_handle) {
    if (!out_handle) return kMP4BadParamErr;
    *out_handle = nullptr;
    return Guarded([&] {
        auto handle = std::make_unique<MP4HandleRecord>();
        handle->bytes.resize(size);
        *out_handle = handle.release();
        return kMP4NoErr;
    });
}

MP4Err MP4SetHandleSize(MP4Handle handle, std::uint32_t size) {
    if (!handle) return kMP4BadParamErr;
    return Guarded([&] {
        handle->bytes.resize(size);
        return kMP4NoErr;
    });
}

MP4Err MP4GetHandleSize(MP4Handle handle, std::uint32_t* out_size) {
    if (!handle || !out_size) return kMP4BadParamErr;
    *out_size = static_cast<std::uint32_t>(handle->bytes.size());
    return kMP4NoErr;
}

std::uint8_t* MP4HandleData(MP4Handle handle) {
    return handle && !handle->bytes.empty() ? handle->bytes.data() : nullptr;
}

MP4Err MP4DisposeHandle(MP4Handle handle) {
    delete handle;
    return kMP4NoErr;
}

MP4Err MP4NewMovie(MP4Movie* out_movie, std::uint32_t initial_object_descriptor_id,
                   std::uint8_t od_profile, std::uint8_t scene_profile, std::uint8_t audio_profile,
                   std::uint8_t visual_profile, std::uint8_t graphics_profile) {
    if (!out_movie) return kMP4BadParamErr;
    *out_movie = nullptr;
    // The descriptor id has 10 bits; 0 is forbidden.
    if (initial_object_descriptor_id == 0 || initial_object_descriptor_id > 0x3FF)
        return kMP4BadParamErr;
    return Guarded([&] {
        auto movie = std::make_unique<MP4MovieRecord>();
        movie->object_descriptor_id = initial_object_descriptor_id;
        movie->profiles = {od_profile, scene_profile, audio_profile, visual_profile,
                           graphics_profile};
        *out_movie = movie.release();
        return kMP4NoErr;
    });
}

MP4Err ISOSetMovieBrand(MP4Movie movie, std::uint32_t brand, std::uint32_t minor_version) {
    if (!movie || brand == 0) return kMP4BadParamErr;
    movie->brand = brand;
    movie->minor_version = minor_version;
    return kMP4NoErr;
}

MP4Err ISOSetMovieCompatibleBrand(MP4Movie movie, std::uint32_t brand) {
    if (!movie || brand == 0) return kMP4BadParamErr;
    return Guarded([&] {
        auto& brands = movie->compatible_brands;
        if (std::find(brands.begin(), brands.end(), brand) == brands.end()) brands.push_back(brand);
        return kMP4NoErr;
    });
}

MP4Err MP4DisposeMovie(MP4Movie movie) {
    delete movie;
    return kMP4NoErr;
}

MP4Err MP4NewMovieTrack(MP4Movie movie, std::uint32_t kind, MP4Track* out_track) {
    if (!out_track) return kMP4BadParamErr;
    *out_track = nullptr;
    if (!movie) return kMP4BadParamErr;
    if (kind != kMP4AudioTrack) return kMP4NotSupportedErr;
    return Guarded([&] {
        auto track = std::make_unique<MP4TrackRecord>();
        track->movie = movie;
        track->kind = kind;
        track->id = static_cast<std::uint32_t>(movie->tracks.size() + 1);
        movie->tracks.push_back(std::move(track));
        *out_track = movie->tracks.back().get();
        return kMP4NoErr;
    });
}

MP4Err MP4NewTrackMedia(MP4Track track, MP4Media* out_media, std::uint32_t handler_type,
                        std::uint32_t time_scale, MP4Handle data_reference) {
    if (!out_media) return kMP4BadParamErr;
    *out_media = nullptr;
    if (!track || time_scale == 0) return kMP4BadParamErr;
    if (track->media) return kMP4WrongStateErr;
    if (handler_type != FourCC("soun") || data_reference) return kMP4NotSupportedErr;
    return Guarded([&] {
        auto media = std::make_unique<MP4MediaRecord>();
        media->track = track;
        media->handler_type = handler_type;
        media->time_scale = time_scale;
        track->media = std::move(media);
        if (track->movie->time_scale == 0) track->movie->time_scale = time_scale;
        *out_media = track->media.get();
        return kMP4NoErr;
    });
}

MP4Err MP4BeginMediaEdits(MP4Media media) {
    if (!media) return kMP4BadParamErr;
    media->editing = true;
    return kMP4NoErr;
}

MP4Err MP4SetMediaLanguage(MP4Media media, const char* language) {
    if (!media || !language) return kMP4BadParamErr;
    for (int i = 0; i < 3; ++i)
        if (language[i] < 'a' || language[i] > 'z') return kMP4BadParamErr;
    if (language[3] != '\0') return kMP4BadParamErr;
    std::copy(language, language + 3, media->language.begin());
    return kMP4NoErr;
}

MP4Err MP4NewSampleDescription(MP4Track track, MP4Handle sample_description,
                               std::uint32_t data_reference_index,
                               std::uint32_t object_type_indication, std::uint32_t stream_type,
                               std::uint32_t decoder_buffer_size, std::uint32_t max_bit_rate,
                               std::uint32_t avg_bit_rate, MP4Handle decoder_specific_info) {
    if (!track || !track->media || !sample_description) return kMP4BadParamErr;
    // One data reference exists: this file.
    if (data_reference_index != 1 || object_type_indication > 0xFF || stream_type > 0x3F ||
        decoder_buffer_size > 0xFFFFFF)
        return kMP4BadParamErr;
    if (decoder_specific_info && (decoder_specific_info->bytes.empty() ||
                                  decoder_specific_info->bytes[0] != kDecoderSpecificInfoTag))
        return kMP4BadParamErr;
    return Guarded([&] {
        BoxBuffer config;
        config.Put8(object_type_indication);
        config.Put8(stream_type << 2 | 0x01);  // not upstream, reserved bit set
        config.Put24(decoder_buffer_size);
        config.Put32(max_bit_rate);
        config.Put32(avg_bit_rate);
        if (decoder_specific_info) config.PutBytes(decoder_specific_info->bytes);
        sample_description->bytes =
            AudioSampleEntry(data_reference_index, track->media->time_scale, config.bytes());
        return kMP4NoErr;
    });
}

MP4Err MP4AddMediaSamples(MP4Media media, MP4Handle sample_data, std::uint32_t sample_count,
                          MP4Handle durations, MP4Handle sizes, MP4Handle sample_description,
                          MP4Handle decoding_offsets, MP4Handle sync_samples) {
    if (!media || !sample_data || !durations || !sizes) return kMP4BadParamErr;
    if (!media->editing) return kMP4WrongStateErr;
    if (decoding_offsets || sync_samples) return kMP4NotSupportedErr;
    if (sample_count == 0) {
        // No samples, but a sample entry still describes the (empty) media.
        if (!sample_data->bytes.empty()) return kMP4BadParamErr;
        if (!sample_description) return kMP4NoErr;
        if (sample_description->bytes.size() < 8) return kMP4BadParamErr;
        return Guarded([&] {
            media->sample_entries.push_back(sample_description->bytes);
            return kMP4NoErr;
        });
    }
    if (!HoldsValuesFor(*durations, sample_count) || !HoldsValuesFor(*sizes, sample_count))
        return kMP4BadParamErr;
    if (sample_description ? sample_description->bytes.size() < 8 : media->sample_entries.empty())
        return kMP4BadParamErr;
    std::uint64_t data_bytes = 0;
    std::uint64_t batch_duration = 0;
    for (std::uint32_t i = 0; i < sample_count; ++i) {
        data_bytes += ValueOf(*sizes, i);
        batch_duration += ValueOf(*durations, i);
    }
    if (data_bytes != sample_data->bytes.size()) return kMP4BadParamErr;
    if (std::uint64_t{sample_count} + media->sample_sizes.size() > kMax32) return kMP4BadParamErr;

    return Guarded([&] {
        // Reserve everything first, so a failed allocation leaves no half batch.
        MP4MovieRecord& movie = *media->track->movie;
        movie.media_data.reserve(movie.media_data.size() + sample_data->bytes.size());
        media->sample_sizes.reserve(media->sample_sizes.size() + sample_count);
        media->time_runs.reserve(media->time_runs.size() + sample_count);
        media->chunks.reserve(media->chunks.size() + 1);
        if (sample_description) {
            media->sample_entries.reserve(media->sample_entries.size() + 1);
            media->sample_entries.push_back(sample_description->bytes);
        }

        Chunk chunk;
        chunk.data_offset = movie.media_data.size();
        chunk.samples = sample_count;
        chunk.description_index = static_cast<std::uint32_t>(media->sample_entries.size());
        movie.media_data.insert(movie.media_data.end(), sample_data->bytes.begin(),
                                sample_data->bytes.end());
        for (std::uint32_t i = 0; i < sample_count; ++i) {
            media->sample_sizes.push_back(ValueOf(*sizes, i));
            const std::uint32_t delta = ValueOf(*durations, i);
            if (!media->time_runs.empty() && media->time_runs.back().delta == delta)
                ++media->time_runs.back().samples;
            else
                media->time_runs.push_back({1, delta});
        }
        media->chunks.push_back(chunk);
        media->duration += batch_duration;
        return kMP4NoErr;
    });
}

MP4Err MP4GetMediaDuration(MP4Media media, std::uint64_t* out_duration) {
    if (!media || !out_duration) return kMP4BadParamErr;
    *out_duration = media->duration;
    return kMP4NoErr;
}

MP4Err MP4EndMediaEdits(MP4Media media) {
    if (!media) return kMP4BadParamErr;
    if (!media->editing) return kMP4WrongStateErr;
    media->editing = false;
    return kMP4NoErr;
}

MP4Err MP4InsertMediaIntoTrack(MP4Track track, std::int64_t track_start, std::int64_t media_time,
                               std::uint64_t segment_duration, std::int32_t media_rate) {
    if (!track || !track->media || track_start < 0 || media_time < -1 || media_rate < 0 ||
        media_rate > 0x7FFF)
        return kMP4BadParamErr;
    std::uint64_t edited_end = 0;
    for (const Edit& edit : track->edits) edited_end += edit.duration;
    const auto start = static_cast<std::uint64_t>(track_start);
    if (start < edited_end) return kMP4NotSupportedErr;
    return Guarded([&] {
        if (start > edited_end) track->edits.push_back({start - edited_end, -1, 1});
        track->edits.push_back({segment_duration, media_time, media_rate});
        return kMP4NoErr;
    });
}

MP4Err MP4WriteMovieToFile(MP4Movie movie, const char* file_name) {
    if (!movie || !file_name || !*file_name) return kMP4BadParamErr;
    for (const auto& track : movie->tracks)
        if (track->media && track->media->editing) return kMP4WrongStateErr;
    return Guarded([&] {
        const std::uint64_t creation_time =
            static_cast<std::uint64_t>(std::time(nullptr)) + kSecondsFrom1904To1970;
        const std::vector<std::uint8_t> ftyp = FileTypeBox(*movie);
        const std::uint64_t payload = movie->media_data.size();
        const bool large_mdat = payload + 8 > kMax32;
        const std::uint64_t mdat_header = large_mdat ? 16 : 8;

        // The moov box's size does not depend on the offsets it holds, only
        // on their width.
        bool wide = false;
        std::vector<std::uint8_t> moov = MovieBox(*movie, 0, wide, creation_time);
        if (ftyp.size() + moov.size() + mdat_header + payload > kMax32) {
            wide = true;
            moov = MovieBox(*movie, 0, wide, creation_time);
        }
        const std::uint64_t payload_offset = ftyp.size() + moov.size() + mdat_header;
        moov = MovieBox(*movie, payload_offset, wide, creation_time);

        BoxBuffer header;
        if (large_mdat) {
            header.Put32(1);
            header.Put32(FourCC("mdat"));
            header.Put64(payload + 16);
        } else {
            header.Put32(static_cast<std::uint32_t>(payload + 8));
            header.Put32(FourCC("mdat"));
        }

        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_name, "wb"));
        if (!file) return kMP4IOErr;
        const bool written = WriteAll(file.get(), ftyp) && WriteAll(file.get(), moov) &&
                             WriteAll(file.get(), header.bytes()) &&
                             WriteAll(file.get(), movie->media_data);
        // A full disk may show only when the buffer is flushed.
        if (std::fclose(file.release()) != 0 || !written) return kMP4IOErr;
        return kMP4NoErr;
    });
}

}  // namespace nb::isomedia
