#include "platform/cdrip/cdio_drives.h"

#include <cdio/logging.h>
#include <cdio/memory.h>
#include <cdio/mmc.h>
#include <cdio/mmc_ll_cmds.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "platform/cdrip/cue_sheet.h"
#include "platform/kernel/fd_io.h"
#include "platform/kernel/unique_fd.h"

namespace nb::cdrip {
namespace {

constexpr std::uint8_t kSenseMediumNotPresent = 0x3A;
constexpr std::uint8_t kSenseNotReady = 0x04;
constexpr std::chrono::milliseconds kSpinUpPause{200};
constexpr int kLastTrackNumber = 99;

// libcdio keeps its drivers and its log in globals, its cue sheet reader
// uses strtok and its device scan getmntent: one drive thread at a time
// reads a sheet or scans.
std::mutex& OpeningLock() {
    static std::mutex lock;
    return lock;
}

// Failures come back as results; libcdio's own messages would only reach
// the terminal of whatever program runs this.
void QuietLog(cdio_log_level_t, const char[]) {}

void PrepareLibcdio() {
    static std::once_flag prepared;
    std::call_once(prepared, [] {
        cdio_log_set_handler(QuietLog);
        cdio_init();
    });
}

std::string Trimmed(const char* text) {
    std::string value(text);
    const std::size_t begin = value.find_first_not_of(' ');
    const std::size_t end = value.find_last_not_of(' ');
    return begin == std::string::npos ? std::string() : value.substr(begin, end - begin + 1);
}

std::string DeviceName(const std::string& path) {
    CdioHandle cdio(cdio_open(path.c_str(), DRIVER_DEVICE));
    cdio_hwinfo_t info{};
    if (!cdio || !cdio_get_hwinfo(cdio.get(), &info)) return path;
    std::string name;
    for (const char* part : {info.psz_vendor, info.psz_model, info.psz_revision}) {
        const std::string word = Trimmed(part);
        if (word.empty()) continue;
        if (!name.empty()) name += ' ';
        name += word;
    }
    return name.empty() ? path : name;
}

std::string Canonical(const char* path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path, nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string(path);
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The sheet's text when it is a plain file of a sensible size; opened
// without waiting, so a named pipe there cannot hold the thread.
std::optional<std::string> SheetText(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > static_cast<off_t>(kMaxCueSheetBytes))
        return std::nullopt;
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    const ReadResult read = ReadFully(fd.Get(), text.data(), text.size());
    if (read.failed) return std::nullopt;
    text.resize(read.bytes);
    return text;
}

enum class FileState { kPlain, kMissing, kOther };

FileState StateOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::kMissing : FileState::kOther;
    return S_ISREG(info.st_mode) ? FileState::kPlain : FileState::kOther;
}

MediaCheck CheckImage(const std::string& cue_path) {
    const std::optional<std::string> bin = BinPathOf(cue_path);
    const FileState sheet = StateOf(cue_path);
    const FileState data = bin ? StateOf(*bin) : FileState::kMissing;
    if (sheet == FileState::kMissing || data == FileState::kMissing) return MediaCheck::kAbsent;
    if (sheet == FileState::kOther || data == FileState::kOther) return MediaCheck::kFailed;
    return MediaCheck::kPresent;
}

// TEST UNIT READY until the drive says ready or has no medium; a drive
// becoming ready is asked again.
MediaCheck CheckDevice(CdIo_t* cdio, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        if (mmc_test_unit_ready(cdio, 0) == DRIVER_OP_SUCCESS) return MediaCheck::kPresent;
        cdio_mmc_request_sense_t* sense = nullptr;
        const int sense_bytes = mmc_last_cmd_sense(cdio, &sense);
        const bool not_ready =
            sense_bytes >= 14 && sense->sense_key == CDIO_MMC_SENSE_KEY_NOT_READY;
        const std::uint8_t code = sense_bytes >= 14 ? sense->asc : 0;
        cdio_free(sense);
        if (not_ready && code == kSenseMediumNotPresent) return MediaCheck::kAbsent;
        const bool spinning_up = not_ready && code == kSenseNotReady;
        if (!spinning_up || std::chrono::steady_clock::now() + kSpinUpPause >= deadline)
            return MediaCheck::kFailed;
        std::this_thread::sleep_for(kSpinUpPause);
    }
}

CdioHandle OpenImage(const std::string& cue_path) {
    const std::optional<std::string> bin = BinPathOf(cue_path);
    const std::optional<std::string> text = SheetText(cue_path);
    if (!bin || !text || !ParseCueSheet(*text) || StateOf(*bin) != FileState::kPlain) return {};
    const std::lock_guard lock(OpeningLock());
    return CdioHandle(cdio_open_cue(cue_path.c_str()));
}

}  // namespace

void CdioCloser::operator()(CdIo_t* cdio) const { cdio_destroy(cdio); }

std::vector<DriveEntry> ListDevices() {
    PrepareLibcdio();
    std::vector<std::string> paths;
    {
        const std::lock_guard lock(OpeningLock());
        char** devices = cdio_get_devices(DRIVER_DEVICE);
        std::set<std::string> seen;
        for (char** device = devices; device && *device; ++device)
            if (seen.insert(Canonical(*device)).second) paths.emplace_back(*device);
        cdio_free_device_list(devices);
    }
    // Named outside the lock: a device that does not answer holds up only
    // this thread.
    std::vector<DriveEntry> drives;
    for (const std::string& path : paths)
        drives.push_back({DriveKind::kDevice, path, DeviceName(path)});
    return drives;
}

DriveEntry ImageDrive(const std::string& cue_path) {
    return {DriveKind::kImage, cue_path, "Disc image " + FileNameOf(cue_path)};
}

std::optional<std::string> BinPathOf(const std::string& cue_path) {
    const std::string name = FileNameOf(cue_path);
    if (name.size() <= 3) return std::nullopt;
    const std::string stem = cue_path.substr(0, cue_path.size() - 3);
    if (cue_path.ends_with("cue")) return stem + "bin";
    if (cue_path.ends_with("CUE")) return stem + "BIN";
    return std::nullopt;
}

MediaCheck CheckMedia(const DriveEntry& drive, CdioHandle& handle,
                      std::chrono::steady_clock::time_point deadline) {
    if (drive.kind == DriveKind::kImage) return CheckImage(drive.path);
    if (!handle) handle = OpenDrive(drive);
    if (!handle) return MediaCheck::kFailed;
    return CheckDevice(handle.get(), deadline);
}

CdioHandle OpenDrive(const DriveEntry& drive) {
    PrepareLibcdio();
    if (drive.kind == DriveKind::kImage) return OpenImage(drive.path);
    return CdioHandle(cdio_open(drive.path.c_str(), DRIVER_DEVICE));
}

std::optional<std::vector<TocEntry>> ReadTableOfContents(CdIo_t* cdio) {
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || first == 0 || count == 0 ||
        first + count - 1 > kLastTrackNumber)
        return std::nullopt;
    std::vector<TocEntry> entries;
    for (track_t track = first; track < first + count; ++track) {
        const lsn_t start = cdio_get_track_lsn(cdio, track);
        const track_format_t format = cdio_get_track_format(cdio, track);
        if (start < 0 || format == TRACK_FORMAT_ERROR) return std::nullopt;
        const std::uint8_t flags = format == TRACK_FORMAT_AUDIO ? 0 : kTocDataTrack;
        entries.push_back({static_cast<std::uint32_t>(start), flags, track});
    }
    const lsn_t lead_out = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (lead_out < 0) return std::nullopt;
    entries.push_back({static_cast<std::uint32_t>(lead_out), 0, kLeadOutTrack});
    return entries;
}

}  // namespace nb::cdrip
