// The stream interface of internals/lame_enc.so, an MP3 encoder over
// libmp3lame that programs load at run time by name and reach through
// dlsym. The calls have C linkage and take only fixed-width values, plain
// structures and a packed configuration record, so the library and its
// callers need not share a compiler or a runtime.
//
// A stream's life: beInitStream, beEncodeChunk as often as there is sound,
// beDeinitStream once to flush the last frames, then either beWriteInfoTag
// (writes the info tag into the finished file and closes the stream) or
// beCloseStream followed by beWriteVBRHeader. Each call returns
// LAME_ENC_OK or a failure code below.
#pragma once

#include <cstddef>
#include <cstdint>

// What every call answers.
enum LameEncStatus : std::uint32_t {
    LAME_ENC_OK = 0,
    LAME_ENC_BAD_RECORD = 1,      // not a configuration record this library reads
    LAME_ENC_BAD_SETTINGS = 2,    // a setting outside its values, or refused by the encoder
    LAME_ENC_NO_MEMORY = 3,       // the stream could not be allocated
    LAME_ENC_BAD_STREAM = 4,      // no stream, a stream already flushed, or a bad argument
    LAME_ENC_ENCODER_FAILED = 5,  // the encoder refused the sound
    LAME_ENC_TAG_FAILED = 6,      // no tag to write, or the file does not take it
};

// Configuration kinds. Only the full form, which carries every encoder
// setting, is read.
constexpr std::uint32_t LAME_ENC_CONFIG_LAME = 256;
constexpr std::uint32_t LAME_ENC_CONFIG_VERSION = 1;
constexpr std::uint32_t LAME_ENC_CONFIG_SIZE = 331;

// Values of LameEncConfig::mode. Stereo modes take interleaved left/right
// input; mono takes one channel.
enum : std::uint32_t {
    LAME_ENC_MODE_STEREO = 0,
    LAME_ENC_MODE_JOINT_STEREO = 1,
    LAME_ENC_MODE_DUAL_CHANNEL = 2,  // refused: libmp3lame cannot write it
    LAME_ENC_MODE_MONO = 3,
};

// Values of LameEncConfig::mpeg_version.
enum : std::uint32_t {
    LAME_ENC_MPEG_BY_RATE = 0,  // whichever version the output rate belongs to
    LAME_ENC_MPEG_1 = 1,        // 32000, 44100, 48000 Hz
    LAME_ENC_MPEG_2 = 2,        // 16000, 22050, 24000 Hz
    LAME_ENC_MPEG_2_5 = 3,      // 8000, 11025, 12000 Hz
};

// Values of LameEncConfig::vbr_method, read when enable_vbr is set.
enum : std::uint32_t {
    LAME_ENC_VBR_DEFAULT = 0,  // the encoder's default method, the same as NEW
    LAME_ENC_VBR_OLD = 1,
    LAME_ENC_VBR_NEW = 2,
    LAME_ENC_VBR_AVERAGE = 3,  // average bit rate: abr_bit_rate_bps, else bit_rate_kbps
};

// Values of LameEncConfig::preset: how hard the encoder searches, trading
// speed for quality. LameEncConfig::quality overrides it.
enum : std::uint32_t {
    LAME_ENC_PRESET_DEFAULT = 0,  // the encoder's own choice
    LAME_ENC_PRESET_FASTEST = 1,
    LAME_ENC_PRESET_FAST = 2,
    LAME_ENC_PRESET_NORMAL = 3,
    LAME_ENC_PRESET_HIGH = 4,
    LAME_ENC_PRESET_BEST = 5,
};

// The configuration record, 331 bytes, packed, little-endian as the machine
// is. A field left 0 takes the encoder's default unless said otherwise;
// flags are on when not 0. The reserved bytes are not read.
#pragma pack(push, 1)
struct LameEncConfig {
    std::uint32_t config_kind;        // LAME_ENC_CONFIG_LAME
    std::uint32_t struct_version;     // LAME_ENC_CONFIG_VERSION
    std::uint32_t struct_size;        // LAME_ENC_CONFIG_SIZE
    std::uint32_t sample_rate_hz;     // input rate, one of the nine MPEG rates; required
    std::uint32_t resample_rate_hz;   // output rate; 0 keeps the input rate
    std::uint32_t mode;               // LAME_ENC_MODE_*
    std::uint32_t bit_rate_kbps;      // the constant rate, or the lowest rate VBR may use
    std::uint32_t max_bit_rate_kbps;  // the highest rate VBR may use
    std::uint32_t preset;             // LAME_ENC_PRESET_*
    std::uint32_t mpeg_version;       // LAME_ENC_MPEG_*: checked against the output rate
    std::uint32_t psy_model;          // libmp3lame has one model: any value selects it
    std::uint32_t emphasis;           // 0 none, 1 50/15 microseconds, 3 CCITT J.17
    std::uint32_t private_bit;
    std::uint32_t crc;  // a checksum in every frame
    std::uint32_t copyright;
    std::uint32_t original;          // set: not a copy
    std::uint32_t write_vbr_header;  // reserve the first frame for the info tag
    std::uint32_t enable_vbr;        // variable bit rate by vbr_method
    std::uint32_t vbr_quality;       // 0 (best) to 9
    std::uint32_t abr_bit_rate_bps;  // mean rate of LAME_ENC_VBR_AVERAGE, bit/s
    std::uint32_t vbr_method;        // LAME_ENC_VBR_*
    std::uint32_t no_bit_reservoir;
    std::uint32_t strict_iso;
    std::uint16_t quality;  // 0: as the preset says; 1 (best) to 10 (fastest)
    std::uint8_t reserved[237];
};
#pragma pack(pop)

// The layout is the interface: every field where callers put it.
static_assert(sizeof(LameEncConfig) == LAME_ENC_CONFIG_SIZE);
static_assert(offsetof(LameEncConfig, config_kind) == 0);
static_assert(offsetof(LameEncConfig, struct_version) == 4);
static_assert(offsetof(LameEncConfig, struct_size) == 8);
static_assert(offsetof(LameEncConfig, sample_rate_hz) == 12);
static_assert(offsetof(LameEncConfig, resample_rate_hz) == 16);
static_assert(offsetof(LameEncConfig, mode) == 20);
static_assert(offsetof(LameEncConfig, bit_rate_kbps) == 24);
static_assert(offsetof(LameEncConfig, max_bit_rate_kbps) == 28);
static_assert(offsetof(LameEncConfig, preset) == 32);
static_assert(offsetof(LameEncConfig, mpeg_version) == 36);
static_assert(offsetof(LameEncConfig, psy_model) == 40);
static_assert(offsetof(LameEncConfig, emphasis) == 44);
static_assert(offsetof(LameEncConfig, private_bit) == 48);
static_assert(offsetof(LameEncConfig, crc) == 52);
static_assert(offsetof(LameEncConfig, copyright) == 56);
static_assert(offsetof(LameEncConfig, original) == 60);
static_assert(offsetof(LameEncConfig, write_vbr_header) == 64);
static_assert(offsetof(LameEncConfig, enable_vbr) == 68);
static_assert(offsetof(LameEncConfig, vbr_quality) == 72);
static_assert(offsetof(LameEncConfig, abr_bit_rate_bps) == 76);
static_assert(offsetof(LameEncConfig, vbr_method) == 80);
static_assert(offsetof(LameEncConfig, no_bit_reservoir) == 84);
static_assert(offsetof(LameEncConfig, strict_iso) == 88);
static_assert(offsetof(LameEncConfig, quality) == 92);
static_assert(offsetof(LameEncConfig, reserved) == 94);

// What beVersion fills in: this interface's version and the encoder's.
struct LameEncVersion {
    std::uint32_t interface_major;
    std::uint32_t interface_minor;
    std::uint32_t encoder_major;
    std::uint32_t encoder_minor;
    char encoder_text[64];  // the encoder's own version text, NUL-terminated
};

// A stream, opaque to callers.
struct LameEncStream;

// Seen by every module: the library exports the calls whatever the
// visibility its other code is compiled with.
#define LAME_ENC_API __attribute__((visibility("default")))

extern "C" {

// Checks the record and opens a stream. samples_per_chunk receives how many
// 16-bit samples (all channels together) one beEncodeChunk takes at most;
// mp3_buffer_bytes the size the MP3 buffer of beEncodeChunk and
// beDeinitStream must at least have. LAME_ENC_BAD_RECORD for another kind, version
// or size; LAME_ENC_BAD_SETTINGS for a setting outside its values.
LAME_ENC_API LameEncStatus beInitStream(const LameEncConfig* config,
                                        std::uint32_t* samples_per_chunk,
                                        std::uint32_t* mp3_buffer_bytes, LameEncStream** stream);

// Encodes sample_count interleaved 16-bit samples (at most samples_per_chunk)
// into mp3; mp3_bytes receives how many bytes of MP3 data came out, often 0.
// A sample that leaves a frame incomplete is kept for the next chunk.
LAME_ENC_API LameEncStatus beEncodeChunk(LameEncStream* stream, std::uint32_t sample_count,
                                         const std::int16_t* pcm, std::uint8_t* mp3,
                                         std::uint32_t* mp3_bytes);

// Encodes what is still buffered and ends the sound; no chunk may follow.
LAME_ENC_API LameEncStatus beDeinitStream(LameEncStream* stream, std::uint8_t* mp3,
                                          std::uint32_t* mp3_bytes);

// Frees the stream. When it was flushed, its info tag stays with the calling
// thread for beWriteVBRHeader.
LAME_ENC_API LameEncStatus beCloseStream(LameEncStream* stream);

// Writes the info tag of the stream the calling thread closed last into the
// first frame of the finished file file_name (UTF-8), which must hold that
// stream's data with every byte written out. LAME_ENC_TAG_FAILED when the
// stream was closed before its flush or asked for no tag, or when the file
// cannot be opened or does not start with a frame of the tag's length.
LAME_ENC_API LameEncStatus beWriteVBRHeader(const char* file_name);

// Writes the flushed stream's info tag into file_name as beWriteVBRHeader
// does, then closes the stream whatever the outcome.
LAME_ENC_API LameEncStatus beWriteInfoTag(LameEncStream* stream, const char* file_name);

// Fills version.
LAME_ENC_API LameEncStatus beVersion(LameEncVersion* version);

}  // extern "C"

// The calls' types, for callers that resolve them by name.
using BeInitStreamFunction = decltype(&beInitStream);
using BeEncodeChunkFunction = decltype(&beEncodeChunk);
using BeDeinitStreamFunction = decltype(&beDeinitStream);
using BeCloseStreamFunction = decltype(&beCloseStream);
using BeWriteVbrHeaderFunction = decltype(&beWriteVBRHeader);
using BeWriteInfoTagFunction = decltype(&beWriteInfoTag);
using BeVersionFunction = decltype(&beVersion);
