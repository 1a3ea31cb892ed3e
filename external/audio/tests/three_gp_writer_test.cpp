// The audio specific configuration, its descriptor, and the 3GP writer's
// batches and results; files read back box by box and by ffprobe.
#include "external/audio/three_gp_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "external/frame/tests/test_environment.h"
#include "platform/isomedia/tests/iso_file_reader.h"

namespace nb::external::audio {
namespace {

using isomedia::testing::Box;
using isomedia::testing::IsoFile;
using isomedia::testing::ReadIsoFile;
using isomedia::testing::RunCapturing;
using isomedia::testing::TrackSamples;
using nb::external::testing::TemporaryFolder;
using Bytes = std::vector<std::uint8_t>;

struct ConfigCase {
    const char* name;
    std::uint32_t rate_hz;
    std::uint32_t channels;
    HeSignalling he;
    RateGiven rate_given;
    int result;
    Bytes bytes;
    int bits;
};
void PrintTo(const ConfigCase& c, std::ostream* os) { *os << c.name; }

class AudioSpecificConfigTable : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(AudioSpecificConfigTable, IsBuiltBitForBit) {
    const ConfigCase& c = GetParam();
    AudioSpecificConfig config;
    ASSERT_EQ(BuildAudioSpecificConfig(c.rate_hz, c.channels, c.he, c.rate_given, config),
              c.result);
    if (c.result != 0) return;
    EXPECT_EQ(config.bytes, c.bytes);
    EXPECT_EQ(config.bits, c.bits);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AudioSpecificConfigTable,
    ::testing::Values(
        // The ringtone's: SBR, core 22050 Hz mono, output 44100 Hz, then LC.
        ConfigCase{"he_22050_mono",
                   22050,
                   1,
                   HeSignalling::On,
                   RateGiven::Core,
                   0,
                   {0x2B, 0x8A, 0x08, 0x00},
                   25},
        ConfigCase{"he_rate_given_as_output",
                   44100,
                   1,
                   HeSignalling::On,
                   RateGiven::Output,
                   0,
                   {0x2A, 0x0A, 0x08, 0x00},
                   25},
        ConfigCase{
            "lc_44100_stereo", 44100, 2, HeSignalling::Off, RateGiven::Core, 0, {0x12, 0x10}, 16},
        // 8 channels are configuration 7 (7.1).
        ConfigCase{
            "lc_eight_channels", 48000, 8, HeSignalling::Off, RateGiven::Core, 0, {0x11, 0xB8}, 16},
        // A rate off the table: index 15 and the rate in 24 bits.
        ConfigCase{"lc_escaped_rate",
                   44000,
                   1,
                   HeSignalling::Off,
                   RateGiven::Core,
                   0,
                   {0x17, 0x80, 0x55, 0xF0, 0x08},
                   40},
        ConfigCase{"seven_channels", 44100, 7, HeSignalling::Off, RateGiven::Core, -1, {}, 0},
        ConfigCase{"nine_channels", 44100, 9, HeSignalling::Off, RateGiven::Core, -1, {}, 0},
        ConfigCase{"no_channels", 44100, 0, HeSignalling::On, RateGiven::Core, -1, {}, 0}),
    [](const ::testing::TestParamInfo<ConfigCase>& param_info) { return param_info.param.name; });

TEST(DecoderSpecificInfo, WrapsTheConfigurationWithTagAndExpandableSize) {
    EXPECT_EQ(DecoderSpecificInfo(Bytes{0x2B, 0x8A, 0x08, 0x00}),
              (Bytes{0x05, 0x04, 0x2B, 0x8A, 0x08, 0x00}));
    const Bytes long_config(200, 0xAA);
    const Bytes wrapped = DecoderSpecificInfo(long_config);
    ASSERT_EQ(wrapped.size(), 203u);
    EXPECT_EQ((Bytes{wrapped[0], wrapped[1], wrapped[2]}), (Bytes{0x05, 0x81, 0x48}));
}

class ThreeGpWriterTest : public ::testing::Test {
   protected:
    ThreeGpWriterTest() {
        EXPECT_EQ(BuildAudioSpecificConfig(22050, 1, HeSignalling::On, RateGiven::Core, m_config),
                  0);
    }

    ThreeGpSettings Settings(const std::string& name) const {
        ThreeGpSettings settings;
        settings.audio_specific_config = m_config.bytes;
        settings.output_path = name.empty() ? std::string() : m_folder / name;
        return settings;
    }
    std::unique_ptr<ThreeGpWriter> Create(const std::string& name) {
        ThreeGpWriter::CreateResult created = ThreeGpWriter::Create(Settings(name));
        EXPECT_EQ(created.result, kThreeGpOk);
        return std::move(created.writer);
    }
    // Units of distinct sizes and contents.
    static std::vector<Bytes> Units(std::size_t count, std::size_t size = 0) {
        std::vector<Bytes> units;
        for (std::size_t i = 0; i < count; ++i)
            units.emplace_back(size ? size : 100 + i, static_cast<std::uint8_t>(i + 1));
        return units;
    }
    // (first chunk, units a chunk) of the file's sample-to-chunk table.
    static std::vector<std::pair<std::uint32_t, std::uint32_t>> ChunkRuns(const IsoFile& file) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
        const Box* stsc = file.root.Find("moov/trak/mdia/minf/stbl/stsc");
        if (!stsc) return runs;
        for (std::uint32_t i = 0; i < stsc->U32(4); ++i)
            runs.emplace_back(stsc->U32(8 + 12 * i), stsc->U32(12 + 12 * i));
        return runs;
    }

    TemporaryFolder m_folder;
    AudioSpecificConfig m_config;
};

TEST_F(ThreeGpWriterTest, BatchesAreHalfASecondOrTheByteLimit) {
    const std::unique_ptr<ThreeGpWriter> writer = Create("limits.3gp");
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->MaxBatchUnits(), 10u);
    EXPECT_EQ(writer->MaxBatchBytes(), 2768u);
}

struct BatchCase {
    const char* name;
    std::size_t units;
    std::size_t unit_bytes;  // 0: 100, 101, 102 ...
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
};
void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }

class ThreeGpBatches : public ThreeGpWriterTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(ThreeGpBatches, BecomeChunksOfTheFile) {
    const std::unique_ptr<ThreeGpWriter> writer = Create("batches.3gp");
    ASSERT_TRUE(writer);
    const std::vector<Bytes> units = Units(GetParam().units, GetParam().unit_bytes);
    for (const Bytes& unit : units) ASSERT_EQ(writer->AddAccessUnit(unit), kThreeGpOk);
    ASSERT_EQ(writer->Finish(), kThreeGpOk);
    const IsoFile file = ReadIsoFile(m_folder / "batches.3gp");
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(ChunkRuns(file), GetParam().runs);
    EXPECT_EQ(TrackSamples(file), units);
    // The sample description is there whatever the number of batches.
    const Box* esds = file.root.Find("moov/trak/mdia/minf/stbl/stsd/mp4a/esds");
    ASSERT_NE(esds, nullptr);
    const Bytes info = {0x05, 0x04, 0x2B, 0x8A, 0x08, 0x00};
    EXPECT_NE(std::search(esds->body.begin(), esds->body.end(), info.begin(), info.end()),
              esds->body.end());
    const Box* mdhd = file.root.Find("moov/trak/mdia/mdhd");
    ASSERT_NE(mdhd, nullptr);
    EXPECT_EQ(mdhd->U32(16), units.size() * 2048);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThreeGpBatches,
    ::testing::Values(BatchCase{"fewer_than_ten", 3, 0, {{1, 3}}},
                      BatchCase{"exactly_ten", 10, 0, {{1, 10}}},
                      BatchCase{"eleventh_starts_a_batch", 11, 0, {{1, 10}, {2, 1}}},
                      BatchCase{"twenty_five", 25, 0, {{1, 10}, {3, 5}}},
                      // Three units of 1000 bytes exceed 2768: two a batch.
                      BatchCase{"byte_limit", 5, 1000, {{1, 2}, {3, 1}}},
                      // Units of exactly the limit fill a batch each.
                      BatchCase{"units_of_the_limit", 2, 2768, {{1, 1}}}),
    [](const ::testing::TestParamInfo<BatchCase>& param_info) { return param_info.param.name; });

TEST_F(ThreeGpWriterTest, RefusesAUnitAboveTheLimitAndIgnoresAnEmptyOne) {
    const std::unique_ptr<ThreeGpWriter> writer = Create("refused.3gp");
    ASSERT_TRUE(writer);
    EXPECT_EQ(writer->AddAccessUnit(Bytes(2769, 1)), kThreeGpUnitTooLarge);
    EXPECT_EQ(writer->AddAccessUnit({}), kThreeGpOk);
    EXPECT_EQ(writer->AddAccessUnit(Bytes(7, 2)), kThreeGpOk);
    ASSERT_EQ(writer->Finish(), kThreeGpOk);
    EXPECT_EQ(TrackSamples(ReadIsoFile(m_folder / "refused.3gp")), std::vector<Bytes>{Bytes(7, 2)});
}

TEST_F(ThreeGpWriterTest, CreationFailsWithItsCodes) {
    EXPECT_EQ(ThreeGpWriter::Create(Settings("")).result, kThreeGpNoOutputName);
    EXPECT_EQ(ThreeGpWriter::Create(Settings("no/such/folder/x.3gp")).result, kThreeGpCannotCreate);
    // The output exists, empty, from creation on.
    const std::unique_ptr<ThreeGpWriter> writer = Create("created.3gp");
    EXPECT_TRUE(std::filesystem::exists(m_folder / "created.3gp"));
    EXPECT_EQ(std::filesystem::file_size(m_folder / "created.3gp"), 0u);
    EXPECT_EQ(AddAccessUnit(nullptr, Bytes{1}), kThreeGpNoWriter);
    EXPECT_EQ(FinishThreeGp(nullptr), kThreeGpNoWriter);
}

// ffprobe reads the brand, the profile and level of the object descriptor
// and the configuration back.
TEST_F(ThreeGpWriterTest, FfprobeReadsBrandsAndConfiguration) {
    const std::unique_ptr<ThreeGpWriter> writer = Create("probe.3gp");
    ASSERT_TRUE(writer);
    ASSERT_EQ(writer->Finish(), kThreeGpOk);
    std::string out;
    ASSERT_EQ(RunCapturing("ffprobe -v error -show_entries format_tags=major_brand,"
                           "compatible_brands:stream=codec_name,extradata -show_data -of flat '" +
                               m_folder / "probe.3gp'",
                           out),
              0)
        << out;
    EXPECT_NE(out.find("major_brand=\"3gp6\""), std::string::npos) << out;
    EXPECT_NE(out.find("compatible_brands=\"3gp63g2amp42\""), std::string::npos) << out;
    EXPECT_NE(out.find("codec_name=\"aac\""), std::string::npos) << out;
    const IsoFile file = ReadIsoFile(m_folder / "probe.3gp");
    ASSERT_TRUE(file.ok);
    const Box* iods = file.root.Find("moov/iods");
    ASSERT_NE(iods, nullptr);
    EXPECT_EQ(iods->body.at(10), 0x2C);  // audio profile and level
}

}  // namespace
}  // namespace nb::external::audio
