// The canonical wave file: what the header check accepts and refuses, the
// header writer, and the sample arithmetic the audio operations share.
#include "external/audio/wave_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <ostream>
#include <vector>

#include "external/audio/wave_samples.h"
#include "external/frame/tests/test_environment.h"

namespace nb::external::audio {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TemporaryFolder;

Bytes CanonicalFile(DWORD data_bytes, std::size_t sound_bytes) {
    const auto header = MakeWaveHeader(data_bytes, kWaveRateHz, kWaveChannels);
    Bytes file(header.begin(), header.end());
    file.resize(file.size() + sound_bytes, 0x11);
    return file;
}

void PutWord(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutDword(Bytes& bytes, std::size_t offset, DWORD value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> 8 * i);
}

// A header in another layout that the writer never makes: fields of the
// format chunk as given, the chunk's size, and what lies between it and
// the data chunk.
Bytes OtherLayout(WORD channels, DWORD rate_hz, WORD bits, DWORD format_bytes,
                  const std::string& between) {
    Bytes file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    file.resize(16 + 4 + format_bytes, 0);
    PutDword(file, 16, format_bytes);
    PutWord(file, 20, 1);
    PutWord(file, 22, channels);
    PutDword(file, 24, rate_hz);
    PutDword(file, 28, rate_hz * channels * bits / 8);
    PutWord(file, 32, static_cast<WORD>(channels * bits / 8));
    PutWord(file, 34, bits);
    file.insert(file.end(), between.begin(), between.end());
    const std::string data = "data";
    file.insert(file.end(), data.begin(), data.end());
    file.resize(file.size() + 4 + 8, 0);
    PutDword(file, file.size() - 12, 8);
    return file;
}

struct HeaderCase {
    const char* name;
    std::function<Bytes()> file;
    WaveHeaderStatus status;
    DWORD data_bytes;
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.name; }

class HeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

// Every case is read from a real file, as the readers do.
TEST_P(HeaderCheck, ReadsTheFirst44Bytes) {
    TemporaryFolder folder;
    const std::string path = folder / "case.wav";
    const Bytes bytes = GetParam().file();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const WaveHeaderCheck check = ReadWaveHeader(fd);
    EXPECT_EQ(check.status, GetParam().status);
    EXPECT_EQ(check.data_bytes, GetParam().data_bytes);
    if (check.status == WaveHeaderStatus::Accepted) {
        EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 44);
    }
    ::close(fd);
}

Bytes WithDword(Bytes bytes, std::size_t offset, DWORD value) {
    PutDword(bytes, offset, value);
    return bytes;
}
Bytes WithWord(Bytes bytes, std::size_t offset, WORD value) {
    PutWord(bytes, offset, value);
    return bytes;
}
Bytes WithText(Bytes bytes, std::size_t offset, const std::string& text) {
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<long>(offset));
    return bytes;
}

constexpr auto kAccepted = WaveHeaderStatus::Accepted;
constexpr auto kReadFailure = WaveHeaderStatus::ReadFailure;
constexpr auto kWrongFormat = WaveHeaderStatus::WrongFormat;

INSTANTIATE_TEST_SUITE_P(
    Layouts, HeaderCheck,
    ::testing::Values(
        HeaderCase{"with_sound", [] { return CanonicalFile(8, 8); }, kAccepted, 8},
        HeaderCase{"header_only", [] { return CanonicalFile(0, 0); }, kAccepted, 0},
        // The length is believed even where the file is shorter.
        HeaderCase{"length_beyond_the_end", [] { return CanonicalFile(1000000, 8); }, kAccepted,
                   1000000},
        // Neither the RIFF size nor the format chunk's size is looked at.
        HeaderCase{"any_riff_size", [] { return WithDword(CanonicalFile(8, 8), 4, 7); }, kAccepted,
                   8},
        HeaderCase{"any_format_size_field", [] { return WithDword(CanonicalFile(8, 8), 16, 18); },
                   kAccepted, 8},
        HeaderCase{"empty", [] { return Bytes(); }, kReadFailure, 0},
        HeaderCase{"43_bytes",
                   [] {
                       Bytes file = CanonicalFile(0, 0);
                       file.pop_back();
                       return file;
                   },
                   kReadFailure, 0},
        HeaderCase{"format_chunk_of_18", [] { return OtherLayout(2, 44100, 16, 18, ""); },
                   kWrongFormat, 0},
        HeaderCase{
            "list_chunk_before_data",
            [] { return OtherLayout(2, 44100, 16, 16, std::string("LIST\4\0\0\0INFO", 12)); },
            kWrongFormat, 0},
        HeaderCase{"mono", [] { return OtherLayout(1, 44100, 16, 16, ""); }, kWrongFormat, 0},
        HeaderCase{"48000_hz", [] { return OtherLayout(2, 48000, 16, 16, ""); }, kWrongFormat, 0},
        HeaderCase{"8_bit", [] { return OtherLayout(2, 44100, 8, 16, ""); }, kWrongFormat, 0},
        HeaderCase{"24_bit", [] { return OtherLayout(2, 44100, 24, 16, ""); }, kWrongFormat, 0},
        HeaderCase{"extensible_tag", [] { return WithWord(CanonicalFile(8, 8), 20, 0xFFFE); },
                   kWrongFormat, 0},
        HeaderCase{"byte_rate", [] { return WithDword(CanonicalFile(8, 8), 28, 176401); },
                   kWrongFormat, 0},
        HeaderCase{"block_align", [] { return WithWord(CanonicalFile(8, 8), 32, 2); }, kWrongFormat,
                   0},
        HeaderCase{"big_endian_riff", [] { return WithText(CanonicalFile(8, 8), 0, "RIFX"); },
                   kWrongFormat, 0},
        HeaderCase{"data_id", [] { return WithText(CanonicalFile(8, 8), 36, "DATA"); },
                   kWrongFormat, 0}),
    [](const ::testing::TestParamInfo<HeaderCase>& param_info) { return param_info.param.name; });

Bytes ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

TEST(WaveHeaderWriter, WritesTheCanonicalLayoutAndLeavesThePositionAfterIt) {
    TemporaryFolder folder;
    const std::string path = folder / "out.wav";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(WriteWaveHeader(fd, 0, 44100, 2), S_OK);
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 44);
    const std::int16_t samples[] = {1, -1, 300, -300};
    ASSERT_EQ(::write(fd, samples, sizeof samples), 8);
    // Rewritten with the length once the samples are known.
    ASSERT_EQ(WriteWaveHeader(fd, 8, 44100, 2), S_OK);
    ::close(fd);
    const Bytes file = ReadAll(path);
    // clang-format off
    const Bytes expected_header = {
        'R', 'I', 'F', 'F', 44, 0, 0, 0,   'W', 'A', 'V', 'E', 'f',  'm', 't', ' ',
        16,  0,   0,   0,   1,  0, 2, 0,   0x44, 0xAC, 0, 0,  0x10, 0xB1, 2,  0,
        4,   0,   16,  0,   'd', 'a', 't', 'a', 8,  0,   0,   0};
    // clang-format on
    ASSERT_EQ(file.size(), 52u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 44), expected_header);
    EXPECT_EQ(CheckWaveHeader(file).status, WaveHeaderStatus::Accepted);
    EXPECT_EQ(std::memcmp(file.data() + 44, samples, sizeof samples), 0);
}

TEST(WaveHeaderWriter, UsesTheRateAndChannelsItIsGiven) {
    const auto header = MakeWaveHeader(100, 22050, 1);
    const Bytes bytes(header.begin(), header.end());
    EXPECT_EQ(bytes[22], 1);
    EXPECT_EQ(bytes[24] | bytes[25] << 8, 22050);
    EXPECT_EQ(bytes[28] | bytes[29] << 8, 44100);  // byte rate
    EXPECT_EQ(bytes[32], 2);                       // block align
    EXPECT_EQ(bytes[4], 136);                      // RIFF size: 100 + 36
}

TEST(WaveHeaderWriter, FailsWithoutWritingOnAnInvalidOrUnseekableHandle) {
    EXPECT_EQ(WriteWaveHeader(-1, 0, 44100, 2), E_FAIL);
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    EXPECT_EQ(WriteWaveHeader(pipe_ends[1], 0, 44100, 2), E_FAIL);
    ::close(pipe_ends[1]);
    char byte;
    EXPECT_EQ(::read(pipe_ends[0], &byte, 1), 0);  // nothing reached the pipe
    ::close(pipe_ends[0]);
}

TEST(WaveHeaderWriter, FailsOnAFileOpenForReadingOnly) {
    TemporaryFolder folder;
    const std::string path = folder / "read_only.wav";
    std::ofstream(path) << "x";
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_EQ(WriteWaveHeader(fd, 0, 44100, 2), E_FAIL);
    ::close(fd);
}

TEST(SampleUnits, ConvertBetweenMillisecondsSamplesAndBytes) {
    EXPECT_EQ(MillisecondsToSamples(0), 0u);
    EXPECT_EQ(MillisecondsToSamples(1), 88u);   // 88.2
    EXPECT_EQ(MillisecondsToSamples(3), 265u);  // 264.6 rounds up
    EXPECT_EQ(MillisecondsToSamples(10), 882u);
    EXPECT_EQ(MillisecondsToSamples(60000), 5292000u);
    EXPECT_EQ(MillisecondsToSamplesTruncated(3), 264u);
    EXPECT_EQ(MillisecondsToSamplesTruncated(10), 882u);
    // Beyond what 32 bits of samples hold: about 13.5 hours.
    EXPECT_EQ(MillisecondsToSamples(50000000), 4410000000u);
    EXPECT_EQ(SamplesToMilliseconds(88), 0u);
    EXPECT_EQ(SamplesToMilliseconds(89), 1u);
    EXPECT_EQ(SamplesToMilliseconds(882), 10u);
    EXPECT_EQ(SamplesToMilliseconds(5292000), 60000u);
    EXPECT_EQ(SampleBytePosition(0), 44u);
    EXPECT_EQ(SampleBytePosition(882), 44u + 1764u);
}

struct GainCase {
    std::int16_t sample;
    double gain;
    std::int16_t expected;
};

TEST(SampleGain, TruncatesTowardZeroAndSaturatesAtTheLimits) {
    const GainCase cases[] = {
        {1000, 0.5, 500},    {-1001, 0.5, -500},    {3, 1.999, 5},       {-3, 1.999, -5},
        {32767, 1.0, 32767}, {-32768, 1.0, -32768}, {20000, 2.0, 32767}, {-20000, 2.0, -32768},
        {16384, 2.0, 32767}, {-16384, 2.0, -32768}, {16383, 2.0, 32766}, {12345, 0.0, 0},
    };
    for (const GainCase& c : cases) {
        EXPECT_EQ(ApplyGain(c.sample, c.gain), c.expected) << c.sample << " x " << c.gain;
        std::int16_t block[] = {c.sample, c.sample};
        ApplyGain(block, c.gain);
        EXPECT_EQ(block[1], c.expected);
    }
}

TEST(SampleLevel, IsTheMeanAbsoluteValueAndPeakTheLargest) {
    const std::int16_t mixed[] = {1, -2, 3, -4};
    EXPECT_EQ(BlockLevel(mixed), 2u);  // 10 / 4
    EXPECT_EQ(AbsoluteSum(mixed), 10u);
    const std::int16_t extremes[] = {-32768, 32767};
    EXPECT_EQ(BlockLevel(extremes), 32767u);  // 65535 / 2
    EXPECT_EQ(PeakMagnitude(extremes), 32768u);
    EXPECT_EQ(BlockLevel({}), 0u);
    EXPECT_EQ(PeakMagnitude({}), 0u);
}

}  // namespace
}  // namespace nb::external::audio
