// The be* calls of internals/lame_enc.so, loaded by name from the built
// application directory as its callers load it.
#include "external/audio/lame_enc/lame_enc.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <numbers>
#include <thread>

#include "external/audio/lame_enc/tests/mp3_media.h"
#include "external/frame/tests/test_environment.h"

namespace nb::audio_testing {
namespace {

using external::testing::TemporaryFolder;

struct Calls {
    BeInitStreamFunction init;
    BeEncodeChunkFunction encode;
    BeDeinitStreamFunction deinit;
    BeCloseStreamFunction close;
    BeWriteVbrHeaderFunction write_vbr_header;
    BeWriteInfoTagFunction write_info_tag;
    BeVersionFunction version;
};

template <typename Function>
Function Resolve(void* library, const char* name) {
    auto function = reinterpret_cast<Function>(library ? dlsym(library, name) : nullptr);
    EXPECT_NE(function, nullptr) << name;
    return function;
}

const Calls& Library() {
    static const Calls calls = [] {
        const std::string path = std::string(NB_TEST_APP_DIR) + "/internals/lame_enc.so";
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) ADD_FAILURE() << dlerror();
        return Calls{Resolve<BeInitStreamFunction>(library, "beInitStream"),
                     Resolve<BeEncodeChunkFunction>(library, "beEncodeChunk"),
                     Resolve<BeDeinitStreamFunction>(library, "beDeinitStream"),
                     Resolve<BeCloseStreamFunction>(library, "beCloseStream"),
                     Resolve<BeWriteVbrHeaderFunction>(library, "beWriteVBRHeader"),
                     Resolve<BeWriteInfoTagFunction>(library, "beWriteInfoTag"),
                     Resolve<BeVersionFunction>(library, "beVersion")};
    }();
    return calls;
}

// The record EX_MakeMP3 hands over for 128 kbit/s.
LameEncConfig WorkerRecord() {
    LameEncConfig config{};
    config.config_kind = 256;
    config.struct_version = 1;
    config.struct_size = 331;
    config.sample_rate_hz = 44100;
    config.mode = 1;
    config.bit_rate_kbps = 96;
    config.max_bit_rate_kbps = 128;
    config.preset = 4;
    config.mpeg_version = 1;
    config.crc = 1;
    config.original = 1;
    config.write_vbr_header = 1;
    config.enable_vbr = 1;
    config.no_bit_reservoir = 1;
    return config;
}

// Interleaved stereo: a sine of 1 kHz at half of full scale.
std::vector<std::int16_t> Sine(double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * 44100);
    std::vector<std::int16_t> stereo(frames * 2);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double phase = 2 * std::numbers::pi * 1000 * static_cast<double>(frame) / 44100;
        stereo[2 * frame] = stereo[2 * frame + 1] =
            static_cast<std::int16_t>(16384 * std::sin(phase));
    }
    return stereo;
}

enum class TagRoute { InfoTag, CloseThenVbrHeader, None };

// Encodes pcm into path in chunks of the given sizes (repeated), the way a
// caller drives the calls; false when a call fails.
bool EncodeFile(const LameEncConfig& config, const std::vector<std::int16_t>& pcm,
                const std::vector<std::uint32_t>& chunk_sizes, const std::string& path,
                TagRoute route) {
    const Calls& calls = Library();
    std::uint32_t chunk = 0, buffer_bytes = 0;
    LameEncStream* stream = nullptr;
    if (calls.init(&config, &chunk, &buffer_bytes, &stream) != LAME_ENC_OK) return false;
    std::vector<std::uint8_t> mp3(buffer_bytes), file;
    std::uint32_t produced = 0;
    for (std::size_t at = 0, turn = 0; at < pcm.size(); ++turn) {
        const auto count = static_cast<std::uint32_t>(
            std::min<std::size_t>(chunk_sizes[turn % chunk_sizes.size()], pcm.size() - at));
        if (calls.encode(stream, count, pcm.data() + at, mp3.data(), &produced) != LAME_ENC_OK)
            return false;
        file.insert(file.end(), mp3.begin(), mp3.begin() + produced);
        at += count;
    }
    if (calls.deinit(stream, mp3.data(), &produced) != LAME_ENC_OK) return false;
    file.insert(file.end(), mp3.begin(), mp3.begin() + produced);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    switch (route) {
        case TagRoute::InfoTag:
            return calls.write_info_tag(stream, path.c_str()) == LAME_ENC_OK;
        case TagRoute::CloseThenVbrHeader:
            return calls.close(stream) == LAME_ENC_OK &&
                   calls.write_vbr_header(path.c_str()) == LAME_ENC_OK;
        case TagRoute::None:
            break;
    }
    return calls.close(stream) == LAME_ENC_OK;
}

bool HasTagMarker(const std::vector<std::uint8_t>& file) {
    const std::string start(file.begin(), file.begin() + std::min<std::size_t>(file.size(), 200));
    return start.find("Xing") != std::string::npos || start.find("Info") != std::string::npos;
}

TEST(LameEncVersion, NamesThisInterfaceAndTheEncoder) {
    LameEncVersion version{};
    ASSERT_EQ(Library().version(&version), LAME_ENC_OK);
    lame_version_t encoder{};
    get_lame_version_numerical(&encoder);
    EXPECT_EQ(version.interface_major, 1u);
    EXPECT_EQ(version.interface_minor, 0u);
    EXPECT_EQ(version.encoder_major, static_cast<std::uint32_t>(encoder.major));
    EXPECT_EQ(version.encoder_minor, static_cast<std::uint32_t>(encoder.minor));
    EXPECT_STREQ(version.encoder_text, get_lame_version());
    EXPECT_EQ(Library().version(nullptr), LAME_ENC_BAD_STREAM);
}

TEST(LameEncStream, ChunkAndBufferSizesFollowTheChannels) {
    for (const auto& [mode, samples] : {std::pair{1u, 2304u}, {0u, 2304u}, {3u, 1152u}}) {
        LameEncConfig config = WorkerRecord();
        config.mode = mode;
        std::uint32_t chunk = 0, buffer_bytes = 0;
        LameEncStream* stream = nullptr;
        ASSERT_EQ(Library().init(&config, &chunk, &buffer_bytes, &stream), LAME_ENC_OK) << mode;
        EXPECT_EQ(chunk, samples);
        // A flush needs 7200 bytes; a chunk 1.25 bytes a frame more.
        EXPECT_GE(buffer_bytes, 7200u + 1440u);
        EXPECT_EQ(Library().close(stream), LAME_ENC_OK);
    }
}

struct BadRecordCase {
    const char* name;
    std::function<void(LameEncConfig&)> change;
    LameEncStatus status;
};
void PrintTo(const BadRecordCase& c, std::ostream* os) { *os << c.name; }

class LameEncBadRecord : public ::testing::TestWithParam<BadRecordCase> {};

TEST_P(LameEncBadRecord, IsRefusedWithoutAStream) {
    LameEncConfig config = WorkerRecord();
    GetParam().change(config);
    std::uint32_t chunk = 0, buffer_bytes = 0;
    LameEncStream* stream = reinterpret_cast<LameEncStream*>(&config);
    EXPECT_EQ(Library().init(&config, &chunk, &buffer_bytes, &stream), GetParam().status);
    EXPECT_EQ(stream, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Records, LameEncBadRecord,
    ::testing::Values(
        BadRecordCase{"OtherKind", [](auto& c) { c.config_kind = 0; }, LAME_ENC_BAD_RECORD},
        BadRecordCase{"OtherVersion", [](auto& c) { c.struct_version = 2; }, LAME_ENC_BAD_RECORD},
        BadRecordCase{"OtherSize", [](auto& c) { c.struct_size = 330; }, LAME_ENC_BAD_RECORD},
        BadRecordCase{"NoRate", [](auto& c) { c.sample_rate_hz = 0; }, LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"NonMpegRate", [](auto& c) { c.sample_rate_hz = 44000; },
                      LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"RateOfAnotherVersion", [](auto& c) { c.resample_rate_hz = 22050; },
                      LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"DualChannel", [](auto& c) { c.mode = 2; }, LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"UnknownMode", [](auto& c) { c.mode = 4; }, LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"ReservedEmphasis", [](auto& c) { c.emphasis = 2; }, LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"UnknownPreset", [](auto& c) { c.preset = 6; }, LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"QualityPastTen", [](auto& c) { c.quality = 11; }, LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"VbrQualityPastNine", [](auto& c) { c.vbr_quality = 10; },
                      LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"UnknownVbrMethod", [](auto& c) { c.vbr_method = 4; }, LAME_ENC_BAD_SETTINGS},
        BadRecordCase{"BitRatePastTheLimit", [](auto& c) { c.max_bit_rate_kbps = 448; },
                      LAME_ENC_BAD_SETTINGS}));

TEST(LameEncStream, CallsWithoutAStreamOrBuffersAreRefused) {
    const Calls& calls = Library();
    std::uint32_t chunk = 0, bytes = 0;
    LameEncStream* stream = nullptr;
    std::uint8_t mp3[16];
    EXPECT_EQ(calls.init(nullptr, &chunk, &bytes, &stream), LAME_ENC_BAD_STREAM);
    EXPECT_EQ(calls.encode(nullptr, 0, nullptr, mp3, &bytes), LAME_ENC_BAD_STREAM);
    EXPECT_EQ(calls.deinit(nullptr, mp3, &bytes), LAME_ENC_BAD_STREAM);
    EXPECT_EQ(calls.close(nullptr), LAME_ENC_BAD_STREAM);
    EXPECT_EQ(calls.write_info_tag(nullptr, "x.mp3"), LAME_ENC_BAD_STREAM);
}

TEST(LameEncStream, RefusesMoreThanAChunkAndChunksAfterTheFlush) {
    const Calls& calls = Library();
    const LameEncConfig config = WorkerRecord();
    std::uint32_t chunk = 0, buffer_bytes = 0, produced = 0;
    LameEncStream* stream = nullptr;
    ASSERT_EQ(calls.init(&config, &chunk, &buffer_bytes, &stream), LAME_ENC_OK);
    const std::vector<std::int16_t> pcm(chunk + 2, 0);
    std::vector<std::uint8_t> mp3(buffer_bytes);
    EXPECT_EQ(calls.encode(stream, chunk + 1, pcm.data(), mp3.data(), &produced),
              LAME_ENC_BAD_STREAM);
    EXPECT_EQ(calls.encode(stream, chunk, pcm.data(), mp3.data(), &produced), LAME_ENC_OK);
    EXPECT_EQ(calls.deinit(stream, mp3.data(), &produced), LAME_ENC_OK);
    EXPECT_EQ(calls.deinit(stream, mp3.data(), &produced), LAME_ENC_BAD_STREAM);
    EXPECT_EQ(calls.encode(stream, chunk, pcm.data(), mp3.data(), &produced), LAME_ENC_BAD_STREAM);
    EXPECT_EQ(calls.close(stream), LAME_ENC_OK);
}

class LameEncFile : public ::testing::Test {
   protected:
    std::vector<std::uint8_t> Encode(const std::string& name, TagRoute route,
                                     const std::vector<std::uint32_t>& chunks = {2304},
                                     const LameEncConfig& config = WorkerRecord()) {
        EXPECT_TRUE(EncodeFile(config, m_sine, chunks, m_folder / name, route)) << name;
        return ReadFileBytes(m_folder / name);
    }

    TemporaryFolder m_folder;
    const std::vector<std::int16_t> m_sine = Sine(2.0);
};

TEST_F(LameEncFile, FramesCarryTheRecordsSettingsAndTheTagItsLength) {
    const std::vector<std::uint8_t> file = Encode("tagged.mp3", TagRoute::InfoTag);
    ASSERT_GT(file.size(), 4u);
    // MPEG-1 layer III with a checksum; original set, copyright clear.
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xFA);
    EXPECT_EQ(file[3] & 0x0C, 0x04);
    EXPECT_TRUE(HasTagMarker(file));
    std::map<std::string, std::string> probe = Probe(m_folder / "tagged.mp3");
    EXPECT_EQ(probe["stream.sample_rate"], "44100");
    EXPECT_EQ(probe["stream.channels"], "2");
    // The tag gives the length in frames: 2 s and the encoder's delay and
    // padding, less than two frames.
    EXPECT_NEAR(std::stod(probe["format.duration"]), 2.03, 0.03);
}

TEST_F(LameEncFile, BothTagRoutesWriteTheSameFileAndOnlyTheFirstFrameChanges) {
    const std::vector<std::uint8_t> untagged = Encode("plain.mp3", TagRoute::None);
    const std::vector<std::uint8_t> info_tag = Encode("info.mp3", TagRoute::InfoTag);
    const std::vector<std::uint8_t> vbr_header = Encode("vbr.mp3", TagRoute::CloseThenVbrHeader);
    EXPECT_FALSE(HasTagMarker(untagged));
    EXPECT_EQ(info_tag, vbr_header);
    ASSERT_EQ(info_tag.size(), untagged.size());
    const auto first_difference = std::mismatch(info_tag.begin(), info_tag.end(), untagged.begin());
    const auto last_difference =
        std::mismatch(info_tag.rbegin(), info_tag.rend(), untagged.rbegin());
    // 417 bytes: one frame of 128 kbit/s at 44100 Hz.
    EXPECT_LT(std::distance(info_tag.begin(), last_difference.first.base()), 418);
    EXPECT_LT(std::distance(info_tag.begin(), first_difference.first), 8);
}

TEST_F(LameEncFile, OddChunksEncodeAsEvenOnes) {
    const std::vector<std::uint8_t> even = Encode("even.mp3", TagRoute::InfoTag);
    const std::vector<std::uint8_t> odd = Encode("odd.mp3", TagRoute::InfoTag, {1001, 7, 2303, 1});
    EXPECT_EQ(odd, even);
}

TEST_F(LameEncFile, TheTagGoesBehindAnId3Tag) {
    const std::vector<std::uint8_t> tagged = Encode("tagged.mp3", TagRoute::InfoTag);
    const std::vector<std::uint8_t> untagged = Encode("plain.mp3", TagRoute::None);
    // ID3v2.4 header announcing 20 bytes of padding.
    std::vector<std::uint8_t> with_id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
    with_id3.resize(30, 0);
    with_id3.insert(with_id3.end(), untagged.begin(), untagged.end());
    const std::string path = m_folder / "id3.mp3";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(with_id3.data()),
               static_cast<std::streamsize>(with_id3.size()));
    // The stream of plain.mp3, closed last on this thread, left its tag.
    ASSERT_EQ(Library().write_vbr_header(path.c_str()), LAME_ENC_OK);
    const std::vector<std::uint8_t> written = ReadFileBytes(path);
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin() + 30, written.end()), tagged);
}

TEST_F(LameEncFile, TagsGoOnlyWhereTheyFit) {
    const std::string text = m_folder / "notes.mp3";
    std::ofstream(text) << "not a single frame in here, just text that is long enough to read";
    const std::vector<std::uint8_t> before = ReadFileBytes(text);
    Encode("kept.mp3", TagRoute::None);
    const Calls& calls = Library();
    EXPECT_EQ(calls.write_vbr_header(text.c_str()), LAME_ENC_TAG_FAILED);
    EXPECT_EQ(ReadFileBytes(text), before);
    EXPECT_EQ(calls.write_vbr_header((m_folder / "missing.mp3").c_str()), LAME_ENC_TAG_FAILED);
    // The kept tag belongs to the thread that closed the stream.
    std::thread other([&] {
        EXPECT_EQ(calls.write_vbr_header((m_folder / "kept.mp3").c_str()), LAME_ENC_TAG_FAILED);
    });
    other.join();
    EXPECT_EQ(calls.write_vbr_header((m_folder / "kept.mp3").c_str()), LAME_ENC_OK);
    // A stream closed before its flush leaves no tag.
    const LameEncConfig config = WorkerRecord();
    std::uint32_t chunk = 0, buffer_bytes = 0;
    LameEncStream* stream = nullptr;
    ASSERT_EQ(calls.init(&config, &chunk, &buffer_bytes, &stream), LAME_ENC_OK);
    ASSERT_EQ(calls.close(stream), LAME_ENC_OK);
    EXPECT_EQ(calls.write_vbr_header((m_folder / "kept.mp3").c_str()), LAME_ENC_TAG_FAILED);
}

struct SettingsCase {
    const char* name;
    std::function<void(LameEncConfig&)> change;
    const char* sample_rate;
    const char* channels;
    std::uint8_t second_header_byte;  // version, layer and checksum bits
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class LameEncSettings : public LameEncFile, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(LameEncSettings, ReachTheStream) {
    LameEncConfig config = WorkerRecord();
    GetParam().change(config);
    // Mono input is one channel: the left half of the stereo sine's samples.
    const std::vector<std::uint8_t> file =
        Encode("settings.mp3", TagRoute::InfoTag, {config.mode == 3 ? 1152u : 2304u}, config);
    ASSERT_GT(file.size(), 2u);
    EXPECT_EQ(file[1], GetParam().second_header_byte);
    std::map<std::string, std::string> probe = Probe(m_folder / "settings.mp3");
    EXPECT_EQ(probe["stream.sample_rate"], GetParam().sample_rate);
    EXPECT_EQ(probe["stream.channels"], GetParam().channels);
}

INSTANTIATE_TEST_SUITE_P(
    Records, LameEncSettings,
    ::testing::Values(
        SettingsCase{"AsTheWorkerAsks", [](auto&) {}, "44100", "2", 0xFA},
        SettingsCase{"WithoutChecksum", [](auto& c) { c.crc = 0; }, "44100", "2", 0xFB},
        SettingsCase{"Mono", [](auto& c) { c.mode = 3; }, "44100", "1", 0xFA},
        SettingsCase{"ResampledToMpeg2",
                     [](auto& c) {
                         c.resample_rate_hz = 22050;
                         c.mpeg_version = 2;
                     },
                     "22050", "2", 0xF2},
        SettingsCase{"ConstantRate", [](auto& c) { c.enable_vbr = 0; }, "44100", "2", 0xFA}));

}  // namespace
}  // namespace nb::audio_testing
