#include "platform/cdrip/cdrip.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/cdrip/cdio_drives.h"
#include "platform/cdrip/cdrip_settings.h"
#include "platform/cdrip/drive_thread.h"
#include "platform/cdrip/paranoia_ripper.h"

namespace nb::cdrip {
namespace {

using Clock = std::chrono::steady_clock;

// What the drive thread's tasks work on. The caller reads the results only
// after a task has ended in time; after one did not, never again.
struct DriveSide {
    std::vector<DriveEntry> drives;
    int opened_index = -1;
    CdioHandle cdio;  // of drive opened_index
    std::unique_ptr<ParanoiaRipper> ripper;
    std::vector<std::uint8_t> chunk;

    MediaCheck media = MediaCheck::kFailed;
    std::optional<std::vector<TocEntry>> toc;
    Chunk last_chunk;
    RipReport report;

    // The handle of drive index, the one of another drive closed first.
    CdioHandle& HandleFor(int index) {
        if (opened_index != index) {
            ripper.reset();
            cdio.reset();
            opened_index = index;
        }
        return cdio;
    }

    CdIo_t* Opened(int index, const DriveEntry& drive) {
        CdioHandle& handle = HandleFor(index);
        if (!handle) handle = OpenDrive(drive);
        return handle.get();
    }

    void CloseAll() {
        ripper.reset();
        cdio.reset();
    }
};

// The name as the record holds it: at most 255 bytes, not cut inside a
// UTF-8 sequence.
void PutName(DriveRecord& record, const std::string& name) {
    std::size_t length = std::min(name.size(), kDriveNameBytes - 1);
    while (length > 0 && length < name.size() &&
           (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
        --length;
    std::memcpy(record.name, name.data(), length);
    record.name[length] = '\0';
}

}  // namespace

struct CdRipLibrary::State {
    CdRipSettings settings;
    std::shared_ptr<DriveSide> side = std::make_shared<DriveSide>();
    std::vector<DriveEntry> drives;
    std::vector<DriveRecord> records;
    int active = -1;
    std::vector<TocEntry> toc;
    std::int32_t ripper_sectors = 0;  // per chunk of the open ripper; 0 when none is open
    RipReport report;
    DriveThread thread;  // declared last, so it ends before the rest goes

    ~State() {
        if (!thread.IsLost()) Run([](DriveSide& drive_side) { drive_side.CloseAll(); });
    }

    // The work, done on the drive thread; true when it ended in time. The
    // task holds the side itself, so a task left running keeps it alive.
    bool Run(std::function<void(DriveSide&)> work, const std::function<bool()>& give_up = {}) {
        return thread.Run([shared = side, work = std::move(work)] { work(*shared); },
                          settings.drive_timeout, give_up) == TaskOutcome::kDone;
    }

    bool HasActive() const { return active >= 0; }
};

CdRipLibrary::CdRipLibrary(std::unique_ptr<State> state) : m_state(std::move(state)) {}
CdRipLibrary::~CdRipLibrary() = default;
CdRipLibrary::CdRipLibrary(CdRipLibrary&&) noexcept = default;
CdRipLibrary& CdRipLibrary::operator=(CdRipLibrary&&) noexcept = default;

Expected<CdRipLibrary, InitStatus> CdRipLibrary::Init(const std::string& settings_path) {
    // A file that cannot be created leaves the defaults in force.
    WriteDefaultSettings(settings_path);
    std::unique_ptr<State> state;
    try {
        state = std::make_unique<State>();
    } catch (const std::system_error&) {
        return Unexpected(InitStatus::kNotStarted);
    }
    state->settings = ReadSettings(settings_path);
    const std::string image = state->settings.disc_image;
    const bool listed = state->Run([image](DriveSide& side) {
        if (!image.empty()) side.drives.push_back(ImageDrive(image));
        for (DriveEntry& device : ListDevices()) side.drives.push_back(std::move(device));
    });
    if (!listed) return Unexpected(InitStatus::kDrivesNotAnswering);
    state->drives = state->side->drives;
    for (const DriveEntry& drive : state->drives) {
        DriveRecord record;
        PutName(record, drive.name);
        state->records.push_back(record);
    }
    return CdRipLibrary(std::move(state));
}

int CdRipLibrary::DriveCount() const { return static_cast<int>(m_state->drives.size()); }

bool CdRipLibrary::SelectDrive(int index) {
    if (index < 0 || index >= DriveCount()) return false;
    if (index != m_state->active) {
        CloseRipper();
        m_state->toc.clear();
    }
    m_state->active = index;
    return true;
}

DriveRecord CdRipLibrary::ReadDriveRecord() const {
    return m_state->HasActive() ? m_state->records[m_state->active] : DriveRecord{};
}

void CdRipLibrary::WriteDriveRecord(const DriveRecord& record) {
    if (!m_state->HasActive()) return;
    DriveRecord& kept = m_state->records[m_state->active];
    kept.sectors_per_read = std::clamp(record.sectors_per_read, 1, kMostSectorsPerRead);
}

MediaCheck CdRipLibrary::CheckMedia() {
    if (!m_state->HasActive()) return MediaCheck::kFailed;
    const int index = m_state->active;
    const DriveEntry drive = m_state->drives[index];
    // A drive spinning up is asked again, but its answer must come in time.
    const Clock::time_point deadline = Clock::now() + m_state->settings.drive_timeout * 3 / 4;
    const bool answered = m_state->Run([index, drive, deadline](DriveSide& side) {
        side.media = nb::cdrip::CheckMedia(drive, side.HandleFor(index), deadline);
    });
    return answered ? m_state->side->media : MediaCheck::kFailed;
}

bool CdRipLibrary::ReadToc() {
    m_state->toc.clear();
    if (!m_state->HasActive()) return false;
    const int index = m_state->active;
    const DriveEntry drive = m_state->drives[index];
    const bool answered = m_state->Run([index, drive](DriveSide& side) {
        CdIo_t* cdio = side.Opened(index, drive);
        side.toc = cdio ? ReadTableOfContents(cdio) : std::nullopt;
    });
    if (!answered || !m_state->side->toc) return false;
    m_state->toc = *m_state->side->toc;
    return true;
}

int CdRipLibrary::TocEntryCount() const {
    return m_state->toc.empty() ? 0 : static_cast<int>(m_state->toc.size()) - 1;
}

TocEntry CdRipLibrary::ReadTocEntry(int index) const {
    if (index < 0 || index >= static_cast<int>(m_state->toc.size())) return {};
    return m_state->toc[index];
}

std::vector<std::string> CdRipLibrary::SourceFiles() const {
    if (!m_state->HasActive()) return {};
    const DriveEntry& drive = m_state->drives[m_state->active];
    if (drive.kind != DriveKind::kImage) return {};
    std::vector<std::string> files = {drive.path};
    if (std::optional<std::string> bin = BinPathOf(drive.path)) files.push_back(*bin);
    return files;
}

std::optional<std::size_t> CdRipLibrary::OpenRipper(std::uint32_t first, std::uint32_t last) {
    CloseRipper();
    if (!m_state->HasActive()) return std::nullopt;
    const int index = m_state->active;
    const DriveEntry drive = m_state->drives[index];
    const std::int32_t sectors = m_state->records[index].sectors_per_read;
    const bool answered = m_state->Run([index, drive, first, last, sectors](DriveSide& side) {
        CdIo_t* cdio = side.Opened(index, drive);
        side.ripper = cdio ? ParanoiaRipper::Open(cdio, first, last) : nullptr;
        side.chunk.resize(static_cast<std::size_t>(sectors) * kSectorBytes);
        side.report = {};
    });
    if (!answered || !m_state->side->ripper) return std::nullopt;
    m_state->ripper_sectors = sectors;
    m_state->report = {};
    return static_cast<std::size_t>(sectors) * kSectorBytes;
}

Chunk CdRipLibrary::ReadChunk(std::span<std::uint8_t> buffer,
                              const std::function<bool()>& give_up) {
    const std::int32_t sectors = m_state->ripper_sectors;
    if (sectors == 0 || buffer.size() < static_cast<std::size_t>(sectors) * kSectorBytes) return {};
    const bool answered = m_state->Run(
        [sectors](DriveSide& side) {
            side.last_chunk = side.ripper->Read(side.chunk.data(), sectors);
            side.report = side.ripper->report();
        },
        give_up);
    if (!answered) return {};
    const DriveSide& side = *m_state->side;
    std::memcpy(buffer.data(), side.chunk.data(), side.last_chunk.bytes);
    m_state->report = side.report;
    return side.last_chunk;
}

void CdRipLibrary::CloseRipper() {
    if (m_state->ripper_sectors == 0) return;
    m_state->ripper_sectors = 0;
    m_state->Run([](DriveSide& side) { side.ripper.reset(); });
}

RipReport CdRipLibrary::ReadReport() const { return m_state->report; }

}  // namespace nb::cdrip
