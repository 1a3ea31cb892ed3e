// What the isomedia calls build up in memory before the file is written.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/isomedia/isomedia.h"

namespace nb::isomedia {

struct MP4HandleRecord {
    std::vector<std::uint8_t> bytes;
};

// One batch of samples, stored contiguously in the movie's media data.
struct Chunk {
    std::uint64_t data_offset = 0;  // from the start of the media data
    std::uint32_t samples = 0;
    std::uint32_t description_index = 0;  // 1-based, into the sample entries
};

// Consecutive samples of one duration ("stts" entry).
struct TimeRun {
    std::uint32_t samples = 0;
    std::uint32_t delta = 0;
};

struct MP4MediaRecord {
    MP4TrackRecord* track = nullptr;
    std::uint32_t handler_type = 0;
    std::uint32_t time_scale = 0;
    std::array<char, 3> language = {'u', 'n', 'd'};
    bool editing = false;
    std::vector<std::vector<std::uint8_t>> sample_entries;  // whole boxes
    std::vector<std::uint32_t> sample_sizes;
    std::vector<TimeRun> time_runs;
    std::vector<Chunk> chunks;
    std::uint64_t duration = 0;
};

// One "elst" entry; media_time -1 is an empty edit.
struct Edit {
    std::uint64_t duration = 0;  // movie time scale
    std::int64_t media_time = 0;
    std::int32_t media_rate = 1;
};

struct MP4TrackRecord {
    MP4MovieRecord* movie = nullptr;
    std::uint32_t id = 0;
    std::uint32_t kind = 0;
    std::unique_ptr<MP4MediaRecord> media;
    std::vector<Edit> edits;
};

struct MP4MovieRecord {
    std::uint32_t object_descriptor_id = 1;
    std::array<std::uint8_t, 5> profiles{};  // OD, scene, audio, visual, graphics
    std::uint32_t brand = FourCC("mp42");
    std::uint32_t minor_version = 0;
    std::vector<std::uint32_t> compatible_brands;
    std::uint32_t time_scale = 0;  // taken from the first media
    std::vector<std::unique_ptr<MP4TrackRecord>> tracks;
    std::vector<std::uint8_t> media_data;  // every track's samples, in the order added
};

// The bytes of the "ftyp" and "moov" boxes for media data whose payload
// starts at media_data_offset in the file.
std::vector<std::uint8_t> FileTypeBox(const MP4MovieRecord& movie);
std::vector<std::uint8_t> MovieBox(const MP4MovieRecord& movie, std::uint64_t media_data_offset,
                                   bool wide_chunk_offsets, std::uint64_t creation_time);

// Track and movie durations in the movie's time scale.
std::uint64_t TrackDuration(const MP4TrackRecord& track, std::uint32_t movie_time_scale);

}  // namespace nb::isomedia
