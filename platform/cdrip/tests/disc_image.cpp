#include "platform/cdrip/tests/disc_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/kernel/fd_io.h"
#include "platform/kernel/unique_fd.h"

namespace nb::cdrip::testing {
namespace {

constexpr std::size_t kSectorBytes = 2352;
constexpr std::uint32_t kSectorsPerSecond = 75;
constexpr std::uint32_t kLeadInSectors = 150;

std::uint8_t Bcd(std::uint32_t value) {
    return static_cast<std::uint8_t>(value / 10 << 4 | value % 10);
}

// A Mode 1 sector as a data track holds it raw: sync pattern, header with
// its address and mode, then 2048 bytes of data (EDC and ECC left zero).
std::vector<std::uint8_t> DataSector(std::uint32_t sector) {
    std::vector<std::uint8_t> bytes(kSectorBytes, 0);
    std::fill(bytes.begin() + 1, bytes.begin() + 11, 0xFF);
    const std::uint32_t address = sector + kLeadInSectors;
    bytes[12] = Bcd(address / (60 * kSectorsPerSecond));
    bytes[13] = Bcd(address / kSectorsPerSecond % 60);
    bytes[14] = Bcd(address % kSectorsPerSecond);
    bytes[15] = 1;
    for (std::size_t i = 0; i < 2048; ++i) bytes[16 + i] = static_cast<std::uint8_t>(sector + i);
    return bytes;
}

bool WriteAt(int fd, const std::vector<std::uint8_t>& bytes, std::uint32_t sector) {
    return ::lseek(fd, static_cast<off_t>(sector) * static_cast<off_t>(kSectorBytes), SEEK_SET) >=
               0 &&
           WriteFully(fd, bytes.data(), bytes.size());
}

}  // namespace

std::string CueTime(std::uint32_t sector) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", sector / (60 * kSectorsPerSecond),
                  sector / kSectorsPerSecond % 60, sector % kSectorsPerSecond);
    return text;
}

std::string Tones(int left_hz, int right_hz) {
    return "aevalsrc=0.5*sin(2*PI*" + std::to_string(left_hz) + "*t)|0.5*sin(2*PI*" +
           std::to_string(right_hz) + "*t):s=44100";
}

std::string Noise(int seed) {
    return "anoisesrc=c=white:a=0.8:r=44100:seed=" + std::to_string(seed);
}

std::optional<std::vector<std::uint8_t>> MakeSound(const std::string& source, std::uint32_t sectors,
                                                   const std::string& scratch_path) {
    const double seconds = static_cast<double>(sectors + 1) / kSectorsPerSecond;
    const std::string command = "ffmpeg -v error -y -f lavfi -i '" + source + "' -t " +
                                std::to_string(seconds) +
                                " -ac 2 -ar 44100 -c:a pcm_s16le -f s16le '" + scratch_path + "'";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    std::ifstream file(scratch_path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
    std::filesystem::remove(scratch_path);
    bytes.resize(static_cast<std::size_t>(sectors) * kSectorBytes, 0);
    return bytes;
}

std::string CueSheetText(const std::string& bin_name, const std::vector<TrackSpec>& tracks,
                         const std::vector<std::uint32_t>& starts) {
    std::string text = "REM made by the CD tests\nFILE \"" + bin_name + "\" BINARY\n";
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        char number[24];
        std::snprintf(number, sizeof number, "%02zu", i + 1);
        if (!tracks[i].audio && tracks[i].gap_before > 0) text += "REM SESSION 02\n";
        text += std::string("  TRACK ") + number + (tracks[i].audio ? " AUDIO\n" : " MODE1/2352\n");
        if (tracks[i].gap_before > 0)
            text += "    INDEX 00 " + CueTime(starts[i] - tracks[i].gap_before) + "\n";
        text += "    INDEX 01 " + CueTime(starts[i]) + "\n";
    }
    return text;
}

std::optional<DiscImage> MakeDiscImage(const std::string& folder, const std::string& name,
                                       const std::vector<TrackSpec>& tracks) {
    DiscImage image{folder + "/" + name + ".cue", folder + "/" + name + ".bin", {}, 0, {}};
    UniqueFd bin(::open(image.bin_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!bin.IsOpen()) return std::nullopt;
    std::uint32_t sector = 0;
    for (const TrackSpec& track : tracks) {
        sector += track.gap_before;
        image.starts.push_back(sector);
        std::vector<std::uint8_t> sound;
        if (!track.audio) {
            for (std::uint32_t i = 0; i < track.sectors; ++i)
                if (!WriteAt(bin.Get(), DataSector(sector + i), sector + i)) return std::nullopt;
        } else if (!track.sound.empty()) {
            auto made = MakeSound(track.sound, track.sectors, folder + "/" + name + ".raw");
            if (!made || !WriteAt(bin.Get(), *made, sector)) return std::nullopt;
            sound = std::move(*made);
        }
        image.sound.push_back(std::move(sound));
        sector += track.sectors;
    }
    image.lead_out = sector;
    if (::ftruncate(bin.Get(), static_cast<off_t>(sector) * static_cast<off_t>(kSectorBytes)) !=
            0 ||
        !bin.Close())
        return std::nullopt;
    std::ofstream(image.cue_path) << CueSheetText(name + ".bin", tracks, image.starts);
    return image;
}

}  // namespace nb::cdrip::testing
