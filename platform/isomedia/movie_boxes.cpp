// The boxes of the movie: ftyp, and moov with one trak per track. Sizes and
// layouts follow ISO/IEC 14496-12 (file format) and 14496-14 (MP4 sample
// entries, esds, iods).
#include <limits>

#include "platform/isomedia/box_buffer.h"
#include "platform/isomedia/movie_records.h"

namespace nb::isomedia {
namespace {

constexpr std::uint32_t kMax32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kFixedOne = 0x00010000;  // 16.16
constexpr std::uint32_t kTrackEnabledInMovieInPreview = 0x7;
constexpr std::uint32_t kSelfContained = 0x1;
constexpr std::uint8_t kInitialObjectDescriptorTag = 0x10;
constexpr std::uint8_t kEsIdIncTag = 0x0E;

void PutMatrix(BoxBuffer& box) {
    // Identity: a, b, u, c, d, v, x, y, w in 16.16 (u, v, w in 2.30).
    const std::uint32_t matrix[9] = {kFixedOne, 0, 0, 0, kFixedOne, 0, 0, 0, 0x40000000};
    for (const std::uint32_t value : matrix) box.Put32(value);
}

bool Fits32(std::uint64_t value) { return value <= kMax32; }

// Creation and modification time, then the scale and the duration, in
// version 1 widths only when something needs them.
void PutTimes(BoxBuffer& box, bool wide, std::uint64_t creation_time) {
    if (wide) {
        box.Put64(creation_time);
        box.Put64(creation_time);
    } else {
        box.Put32(static_cast<std::uint32_t>(creation_time));
        box.Put32(static_cast<std::uint32_t>(creation_time));
    }
}

void PutDuration(BoxBuffer& box, bool wide, std::uint64_t duration) {
    if (wide)
        box.Put64(duration);
    else
        box.Put32(static_cast<std::uint32_t>(duration));
}

std::uint64_t MovieDuration(const MP4MovieRecord& movie) {
    std::uint64_t longest = 0;
    for (const auto& track : movie.tracks)
        longest = std::max(longest, TrackDuration(*track, movie.time_scale));
    return longest;
}

void PutMovieHeader(BoxBuffer& box, const MP4MovieRecord& movie, std::uint64_t creation_time) {
    const std::uint64_t duration = MovieDuration(movie);
    const bool wide = !Fits32(duration) || !Fits32(creation_time);
    const std::size_t mvhd = box.BeginFullBox(FourCC("mvhd"), wide ? 1 : 0, 0);
    PutTimes(box, wide, creation_time);
    box.Put32(movie.time_scale);
    PutDuration(box, wide, duration);
    box.Put32(kFixedOne);  // rate
    box.Put16(0x0100);     // volume 1.0
    box.PutZeros(2 + 8);
    PutMatrix(box);
    box.PutZeros(6 * 4);  // pre_defined
    box.Put32(static_cast<std::uint32_t>(movie.tracks.size() + 1));
    box.EndBox(mvhd);
}

// The initial object descriptor: its id, no URL, the five profile and level
// indications, and one ES_ID_Inc per track.
void PutObjectDescriptor(BoxBuffer& box, const MP4MovieRecord& movie) {
    BoxBuffer content;
    content.Put16(movie.object_descriptor_id << 6 | 0x0F);  // URL flag 0, inline 0, reserved
    for (const std::uint8_t profile : movie.profiles) content.Put8(profile);
    for (const auto& track : movie.tracks) {
        BoxBuffer id;
        id.Put32(track->id);
        content.PutDescriptor(kEsIdIncTag, id.bytes());
    }
    const std::size_t iods = box.BeginFullBox(FourCC("iods"), 0, 0);
    box.PutDescriptor(kInitialObjectDescriptorTag, content.bytes());
    box.EndBox(iods);
}

void PutTrackHeader(BoxBuffer& box, const MP4TrackRecord& track, std::uint64_t duration,
                    std::uint64_t creation_time) {
    const bool wide = !Fits32(duration) || !Fits32(creation_time);
    const std::size_t tkhd =
        box.BeginFullBox(FourCC("tkhd"), wide ? 1 : 0, kTrackEnabledInMovieInPreview);
    PutTimes(box, wide, creation_time);
    box.Put32(track.id);
    box.Put32(0);
    PutDuration(box, wide, duration);
    box.PutZeros(8);
    box.Put16(0);  // layer
    box.Put16(0);  // alternate group
    box.Put16(track.kind == kMP4AudioTrack ? 0x0100 : 0);
    box.Put16(0);
    PutMatrix(box);
    box.Put32(0);  // width
    box.Put32(0);  // height
    box.EndBox(tkhd);
}

void PutEdits(BoxBuffer& box, const MP4TrackRecord& track) {
    if (track.edits.empty()) return;
    bool wide = false;
    for (const Edit& edit : track.edits)
        wide = wide || !Fits32(edit.duration) || edit.media_time > std::int64_t{0x7FFFFFFF};
    const std::size_t edts = box.BeginBox(FourCC("edts"));
    const std::size_t elst = box.BeginFullBox(FourCC("elst"), wide ? 1 : 0, 0);
    box.Put32(static_cast<std::uint32_t>(track.edits.size()));
    for (const Edit& edit : track.edits) {
        PutDuration(box, wide, edit.duration);
        PutDuration(box, wide, static_cast<std::uint64_t>(edit.media_time));
        box.Put16(static_cast<std::uint32_t>(edit.media_rate));
        box.Put16(0);
    }
    box.EndBox(elst);
    box.EndBox(edts);
}

void PutMediaHeader(BoxBuffer& box, const MP4MediaRecord& media, std::uint64_t creation_time) {
    const bool wide = !Fits32(media.duration) || !Fits32(creation_time);
    const std::size_t mdhd = box.BeginFullBox(FourCC("mdhd"), wide ? 1 : 0, 0);
    PutTimes(box, wide, creation_time);
    box.Put32(media.time_scale);
    PutDuration(box, wide, media.duration);
    // Three letters of five bits each, offset by 0x60, behind a zero bit.
    std::uint32_t packed = 0;
    for (const char letter : media.language)
        packed = packed << 5 | (static_cast<std::uint32_t>(letter - 0x60) & 0x1F);
    box.Put16(packed);
    box.Put16(0);
    box.EndBox(mdhd);
}

void PutHandler(BoxBuffer& box, const MP4MediaRecord& media) {
    static constexpr std::uint8_t kSoundName[] = "SoundHandler";
    const std::size_t hdlr = box.BeginFullBox(FourCC("hdlr"), 0, 0);
    box.Put32(0);
    box.Put32(media.handler_type);
    box.PutZeros(12);
    box.PutBytes(kSoundName);  // with its terminating zero
    box.EndBox(hdlr);
}

void PutDataInformation(BoxBuffer& box) {
    const std::size_t dinf = box.BeginBox(FourCC("dinf"));
    const std::size_t dref = box.BeginFullBox(FourCC("dref"), 0, 0);
    box.Put32(1);
    box.EndBox(box.BeginFullBox(FourCC("url "), 0, kSelfContained));
    box.EndBox(dref);
    box.EndBox(dinf);
}

void PutSampleTable(BoxBuffer& box, const MP4MediaRecord& media, std::uint64_t media_data_offset,
                    bool wide_chunk_offsets) {
    const std::size_t stbl = box.BeginBox(FourCC("stbl"));

    const std::size_t stsd = box.BeginFullBox(FourCC("stsd"), 0, 0);
    box.Put32(static_cast<std::uint32_t>(media.sample_entries.size()));
    for (const auto& entry : media.sample_entries) box.PutBytes(entry);
    box.EndBox(stsd);

    const std::size_t stts = box.BeginFullBox(FourCC("stts"), 0, 0);
    box.Put32(static_cast<std::uint32_t>(media.time_runs.size()));
    for (const TimeRun& run : media.time_runs) {
        box.Put32(run.samples);
        box.Put32(run.delta);
    }
    box.EndBox(stts);

    // One entry wherever the samples per chunk or the sample entry change.
    BoxBuffer runs;
    std::uint32_t run_count = 0;
    for (std::size_t i = 0; i < media.chunks.size(); ++i) {
        const Chunk& chunk = media.chunks[i];
        if (i > 0 && chunk.samples == media.chunks[i - 1].samples &&
            chunk.description_index == media.chunks[i - 1].description_index)
            continue;
        runs.Put32(static_cast<std::uint32_t>(i + 1));
        runs.Put32(chunk.samples);
        runs.Put32(chunk.description_index);
        ++run_count;
    }
    const std::size_t stsc = box.BeginFullBox(FourCC("stsc"), 0, 0);
    box.Put32(run_count);
    box.PutBytes(runs.bytes());
    box.EndBox(stsc);

    const std::size_t stsz = box.BeginFullBox(FourCC("stsz"), 0, 0);
    bool uniform = !media.sample_sizes.empty();
    for (const std::uint32_t size : media.sample_sizes)
        uniform = uniform && size == media.sample_sizes.front();
    box.Put32(uniform ? media.sample_sizes.front() : 0);
    box.Put32(static_cast<std::uint32_t>(media.sample_sizes.size()));
    if (!uniform)
        for (const std::uint32_t size : media.sample_sizes) box.Put32(size);
    box.EndBox(stsz);

    const std::size_t stco =
        box.BeginFullBox(wide_chunk_offsets ? FourCC("co64") : FourCC("stco"), 0, 0);
    box.Put32(static_cast<std::uint32_t>(media.chunks.size()));
    for (const Chunk& chunk : media.chunks) {
        const std::uint64_t offset = media_data_offset + chunk.data_offset;
        if (wide_chunk_offsets)
            box.Put64(offset);
        else
            box.Put32(static_cast<std::uint32_t>(offset));
    }
    box.EndBox(stco);

    box.EndBox(stbl);
}

void PutTrack(BoxBuffer& box, const MP4MovieRecord& movie, const MP4TrackRecord& track,
              std::uint64_t media_data_offset, bool wide_chunk_offsets,
              std::uint64_t creation_time) {
    const MP4MediaRecord& media = *track.media;
    const std::size_t trak = box.BeginBox(FourCC("trak"));
    PutTrackHeader(box, track, TrackDuration(track, movie.time_scale), creation_time);
    PutEdits(box, track);
    const std::size_t mdia = box.BeginBox(FourCC("mdia"));
    PutMediaHeader(box, media, creation_time);
    PutHandler(box, media);
    const std::size_t minf = box.BeginBox(FourCC("minf"));
    const std::size_t smhd = box.BeginFullBox(FourCC("smhd"), 0, 0);
    box.Put16(0);  // balance
    box.Put16(0);
    box.EndBox(smhd);
    PutDataInformation(box);
    PutSampleTable(box, media, media_data_offset, wide_chunk_offsets);
    box.EndBox(minf);
    box.EndBox(mdia);
    box.EndBox(trak);
}

}  // namespace

std::uint64_t TrackDuration(const MP4TrackRecord& track, std::uint32_t movie_time_scale) {
    if (!track.edits.empty()) {
        std::uint64_t total = 0;
        for (const Edit& edit : track.edits) total += edit.duration;
        return total;
    }
    if (!track.media || track.media->time_scale == 0) return 0;
    // Without edits the track plays its whole media once.
    const std::uint64_t duration = track.media->duration;
    const std::uint64_t scale = track.media->time_scale;
    return duration / scale * movie_time_scale + duration % scale * movie_time_scale / scale;
}

std::vector<std::uint8_t> FileTypeBox(const MP4MovieRecord& movie) {
    BoxBuffer box;
    const std::size_t ftyp = box.BeginBox(FourCC("ftyp"));
    box.Put32(movie.brand);
    box.Put32(movie.minor_version);
    box.Put32(movie.brand);
    for (const std::uint32_t brand : movie.compatible_brands)
        if (brand != movie.brand) box.Put32(brand);
    box.EndBox(ftyp);
    return box.Take();
}

std::vector<std::uint8_t> MovieBox(const MP4MovieRecord& movie, std::uint64_t media_data_offset,
                                   bool wide_chunk_offsets, std::uint64_t creation_time) {
    BoxBuffer box;
    const std::size_t moov = box.BeginBox(FourCC("moov"));
    PutMovieHeader(box, movie, creation_time);
    PutObjectDescriptor(box, movie);
    for (const auto& track : movie.tracks)
        if (track->media)
            PutTrack(box, movie, *track, media_data_offset, wide_chunk_offsets, creation_time);
    box.EndBox(moov);
    return box.Take();
}

}  // namespace nb::isomedia
