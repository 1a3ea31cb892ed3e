#include "test_support.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace heaac::test {

namespace fs = std::filesystem;

CommandResult run(const std::string& command) {
    CommandResult result{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) result.output += buffer;
    result.exit_code = pclose(pipe);
    return result;
}

void write_wav(const fs::path& path, int rate_hz, int channels,
               const std::vector<std::int16_t>& samples) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto data_bytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + data_bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(static_cast<std::uint16_t>(channels));
    u32(static_cast<std::uint32_t>(rate_hz));
    u32(static_cast<std::uint32_t>(rate_hz * channels * 2));
    u16(static_cast<std::uint16_t>(channels * 2));
    u16(16);
    out.write("data", 4);
    u32(data_bytes);
    out.write(reinterpret_cast<const char*>(samples.data()),
              static_cast<std::streamsize>(data_bytes));
}

WavAudio read_wav(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    auto parsed = parse_wav(bytes);
    return parsed.audio ? *parsed.audio : WavAudio{};
}

std::vector<float> decode_to_float(const fs::path& adts_path) {
    const fs::path raw_path = adts_path.string() + ".f32";
    const auto decoded = run("ffmpeg -v error -y -f aac -i " + adts_path.string() +
                             " -f f32le -c:a pcm_f32le " + raw_path.string());
    if (decoded.exit_code != 0) return {};
    std::ifstream in(raw_path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::copy(bytes.begin(),
              bytes.begin() + static_cast<std::ptrdiff_t>(samples.size() * sizeof(float)),
              reinterpret_cast<char*>(samples.data()));
    return samples;
}

ScratchDir::ScratchDir(const std::string& name)
    : m_path(fs::temp_directory_path() / ("heaac_test_" + name + "_" + std::to_string(getpid()))) {
    fs::create_directories(m_path);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

}  // namespace heaac::test
