// The CD ripping library's operations, over libcdio and libcdio-paranoia:
// initialisation with its settings file, the drives and the active one, its
// parameter record, the presence check, the table of contents with its data
// flags, and the ripper, which reads a range of sectors chunk by chunk with
// paranoia's error correction.
//
// Platform-specific: the drives are a BIN/CUE disc image when the settings
// name one (cdrip_settings.h), then the machine's CD devices as libcdio
// finds them (/dev/sr*). Every call that reaches a drive runs on a thread of
// the library's own and is waited for at most the drive timeout; a drive that
// does not answer in time fails that call, and every later one at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/kernel/expected.h"

namespace nb::cdrip {

// A sector holds 1/75 second of 44100 Hz 16-bit stereo sound.
constexpr std::size_t kSectorBytes = 2352;
constexpr std::uint32_t kSectorsPerSecond = 75;
constexpr std::size_t kDriveNameBytes = 256;
// The sectors a chunk of the ripper holds unless the record says otherwise.
constexpr std::int32_t kDefaultSectorsPerRead = 26;
constexpr std::int32_t kMostSectorsPerRead = 1000;

// What initialisation answers, in the numbers the CD functions tell apart.
enum class InitStatus : int {
    kOk = 0,
    kNotStarted = 1,           // the drive thread could not start
    kDrivesNotAnswering = 11,  // listing the drives did not end in time
};

// The active drive's parameter record: its name, then its own settings.
struct DriveRecord {
    char name[kDriveNameBytes] = {};  // zero-terminated UTF-8
    // Sectors per chunk of the ripper, 1 to kMostSectorsPerRead.
    std::int32_t sectors_per_read = kDefaultSectorsPerRead;
};

// The control bit of a track's table of contents entry that marks data.
constexpr std::uint8_t kTocDataTrack = 0x04;
// The track number the lead-out entry carries.
constexpr std::uint8_t kLeadOutTrack = 0xAA;

struct TocEntry {
    std::uint32_t start_sector = 0;  // logical block address
    std::uint8_t flags = 0;
    std::uint8_t track_number = 0;
    bool IsData() const { return (flags & kTocDataTrack) != 0; }
};

enum class MediaCheck { kPresent, kAbsent, kFailed };

enum class ChunkStatus : int {
    kMore = 0,    // more chunks follow
    kFailed = 1,  // sectors could not be read (or the drive did not answer)
    kLast = 4,    // this was the range's last chunk
};

struct Chunk {
    ChunkStatus status = ChunkStatus::kFailed;
    std::size_t bytes = 0;
};

// What paranoia reported while the ripper read: sound it put right (jitter,
// dropped or doubled bytes), reads the drive failed (retried), and the times
// it gave sectors up as unreadable after its retries. A chunk with a sector
// given up fails.
struct RipReport {
    long repairs = 0;
    long read_errors = 0;
    long skips = 0;
};

class CdRipLibrary {
   public:
    // Reads the settings file (creating it when there is none) and lists the
    // drives. The status when that failed.
    static Expected<CdRipLibrary, InitStatus> Init(const std::string& settings_path);
    // Closes the ripper and the drive: the library's shutdown.
    ~CdRipLibrary();
    CdRipLibrary(CdRipLibrary&&) noexcept;
    CdRipLibrary& operator=(CdRipLibrary&&) noexcept;

    int DriveCount() const;
    // Makes drive index (0-based) the active one; false for no such drive.
    bool SelectDrive(int index);
    DriveRecord ReadDriveRecord() const;
    // Keeps the record for the active drive while the library lives.
    void WriteDriveRecord(const DriveRecord& record);
    // Whether the active drive holds a disc.
    MediaCheck CheckMedia();

    // Reads the active drive's table of contents; false when there is none
    // to read.
    [[nodiscard]] bool ReadToc();
    // The tracks of the table read; entry TocEntryCount() is the lead-out.
    int TocEntryCount() const;
    // The entry at index (0 to TocEntryCount()); a zero entry past them.
    TocEntry ReadTocEntry(int index) const;

    // The files the active drive reads from: the sheet and the BIN of an
    // image, nothing for a device.
    std::vector<std::string> SourceFiles() const;

    // Opens the ripper over sectors first to last (inclusive) of the active
    // drive; the bytes of a full chunk, or nothing when it did not open.
    std::optional<std::size_t> OpenRipper(std::uint32_t first, std::uint32_t last);
    // Reads the next chunk into buffer (at least a full chunk's bytes). With
    // give_up, a wait for a drive that holds up the read ends soon after
    // give_up() holds, and the chunk fails.
    Chunk ReadChunk(std::span<std::uint8_t> buffer, const std::function<bool()>& give_up = {});
    void CloseRipper();
    // What paranoia reported since the ripper opened.
    RipReport ReadReport() const;

   private:
    struct State;
    explicit CdRipLibrary(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

}  // namespace nb::cdrip
