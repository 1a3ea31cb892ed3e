// Our ISO base media file writer: a movie of tracks, each with one media
// whose samples are added in batches and written into one file (ftyp, moov,
// mdat). The calls mirror the movie/track/media/handle interface the audio
// engine was designed against; every call answers kMP4NoErr (0) on success
// or one of the negative codes below, and never throws.
//
// Limits of this writer: one media per track; sample entries for sound
// tracks only ("mp4a" with an MPEG-4 elementary stream descriptor); no
// composition offsets and no sync sample table (every sample is a sync
// sample); edits append to the end of a track.
#pragma once

#include <cstdint>

namespace nb::isomedia {

using MP4Err = std::int32_t;

constexpr MP4Err kMP4NoErr = 0;
constexpr MP4Err kMP4BadParamErr = -1;      // a null or inconsistent argument
constexpr MP4Err kMP4NoMemoryErr = -2;      // an allocation failed
constexpr MP4Err kMP4IOErr = -3;            // the file could not be written whole
constexpr MP4Err kMP4WrongStateErr = -4;    // e.g. samples added outside media edits
constexpr MP4Err kMP4NotSupportedErr = -5;  // a feature this writer leaves out

struct MP4MovieRecord;
struct MP4TrackRecord;
struct MP4MediaRecord;
struct MP4HandleRecord;
using MP4Movie = MP4MovieRecord*;
using MP4Track = MP4TrackRecord*;
using MP4Media = MP4MediaRecord*;
using MP4Handle = MP4HandleRecord*;

// Track kinds for MP4NewMovieTrack.
constexpr std::uint32_t kMP4AudioTrack = 4;

// A four-character code as the boxes store it: 'soun', '3gp6'.
constexpr std::uint32_t FourCC(const char (&text)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

// Handles: growable blocks of bytes the caller fills. Values the calls read
// from handles (durations, sizes) are 32-bit numbers in the machine's order.
MP4Err MP4NewHandle(std::uint32_t size, MP4Handle* out_handle);
// Keeps the first min(old, new) bytes; new bytes are zero.
MP4Err MP4SetHandleSize(MP4Handle handle, std::uint32_t size);
MP4Err MP4GetHandleSize(MP4Handle handle, std::uint32_t* out_size);
// The handle's storage; valid until its size changes. Null for a null or
// empty handle.
std::uint8_t* MP4HandleData(MP4Handle handle);
// A null handle is accepted and ignored.
MP4Err MP4DisposeHandle(MP4Handle handle);

// A movie with the initial object descriptor's id and the five profile and
// level indications (0xFF: no capability required). Its brand is "mp42"
// until ISOSetMovieBrand. The movie's time scale follows its first media's,
// so edits of that media are exact.
MP4Err MP4NewMovie(MP4Movie* out_movie, std::uint32_t initial_object_descriptor_id,
                   std::uint8_t od_profile, std::uint8_t scene_profile, std::uint8_t audio_profile,
                   std::uint8_t visual_profile, std::uint8_t graphics_profile);
MP4Err ISOSetMovieBrand(MP4Movie movie, std::uint32_t brand, std::uint32_t minor_version);
// Appends a brand to the compatible list (after the major brand, which is
// always listed); a brand already listed is not repeated.
MP4Err ISOSetMovieCompatibleBrand(MP4Movie movie, std::uint32_t brand);
// Disposes the movie with its tracks and media; a null movie is ignored.
MP4Err MP4DisposeMovie(MP4Movie movie);

// A new track, numbered from 1; only kMP4AudioTrack is offered.
MP4Err MP4NewMovieTrack(MP4Movie movie, std::uint32_t kind, MP4Track* out_track);
// The track's media: handler type 'soun', time units per second, and a data
// reference handle that must be null (the samples live in this file).
MP4Err MP4NewTrackMedia(MP4Track track, MP4Media* out_media, std::uint32_t handler_type,
                        std::uint32_t time_scale, MP4Handle data_reference);
MP4Err MP4BeginMediaEdits(MP4Media media);
// An ISO 639-2/T code of three lower-case letters; "und" until set.
MP4Err MP4SetMediaLanguage(MP4Media media, const char* language);

// Fills sample_description with an "mp4a" sample entry (two channels, 16
// bits, the media's time scale as sample rate) whose elementary stream
// descriptor carries the object type indication, stream type, buffer size,
// bit rates and decoder_specific_info: a whole DecoderSpecificInfo
// descriptor (tag 0x05, its size, the configuration), or null for none.
MP4Err MP4NewSampleDescription(MP4Track track, MP4Handle sample_description,
                               std::uint32_t data_reference_index,
                               std::uint32_t object_type_indication, std::uint32_t stream_type,
                               std::uint32_t decoder_buffer_size, std::uint32_t max_bit_rate,
                               std::uint32_t avg_bit_rate, MP4Handle decoder_specific_info);

// Adds sample_count samples stored back to back in sample_data as one
// chunk. durations and sizes hold either one value for every sample or one
// per sample, and the sizes must add up to the data. A sample description
// starts a new sample entry for these samples; null keeps the last one (the
// first batch must bring one). Decoding offsets and sync samples must be
// null. Only between MP4BeginMediaEdits and MP4EndMediaEdits.
MP4Err MP4AddMediaSamples(MP4Media media, MP4Handle sample_data, std::uint32_t sample_count,
                          MP4Handle durations, MP4Handle sizes, MP4Handle sample_description,
                          MP4Handle decoding_offsets, MP4Handle sync_samples);
// The sum of the added samples' durations, in the media's time scale.
MP4Err MP4GetMediaDuration(MP4Media media, std::uint64_t* out_duration);
MP4Err MP4EndMediaEdits(MP4Media media);

// Appends an edit to the track: from media_time (media time scale) for
// segment_duration (movie time scale) at media_rate (1: normal speed). A
// track_start after the track's current end (movie time scale) puts an
// empty edit before it; an earlier one is not supported.
MP4Err MP4InsertMediaIntoTrack(MP4Track track, std::int64_t track_start, std::int64_t media_time,
                               std::uint64_t segment_duration, std::int32_t media_rate);

// Writes the whole movie: ftyp, moov, then mdat. Replaces a file of the
// same name. Chunk offsets are 32-bit ("stco") unless the file needs more.
MP4Err MP4WriteMovieToFile(MP4Movie movie, const char* file_name);

}  // namespace nb::isomedia
