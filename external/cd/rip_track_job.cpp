#include "external/cd/rip_track_job.h"

#include <optional>
#include <vector>

#include "external/audio/wave_file.h"
#include "external/cd/cdrip_loader.h"
#include "external/cd/disc_table.h"
#include "external/frame/job_files.h"
#include "platform/kernel/fd_io.h"

namespace nb::external::cd {
namespace {

using audio::kWaveChannels;
using audio::kWaveRateHz;
using audio::WriteWaveHeader;

bool IsOneOfTheFiles(const std::string& path, const std::vector<std::string>& files) {
    for (const std::string& file : files)
        if (IsOneOfTheInputs(path, {IdentityOf(file)})) return true;
    return false;
}

class TrackRip {
   public:
    TrackRip(JobReport& report, const RipRequest& request) : m_report(report), m_request(request) {}

    RipStatus Run() {
        m_library = LoadCDRipLibrary();
        if (!m_library) return kRipLibraryNotLoaded;
        if (RipStatus found = FindTrack(); found != kRipOk) return found;
        if (RipStatus opened = Open(); opened != kRipOk) return opened;
        if (m_report.StopRequested()) return kRipStopped;
        m_report.Begin(kRipRunning, static_cast<LONG>(m_expected_bytes));
        if (RipStatus copied = CopyChunks(); copied != kRipOk) return copied;
        return Finish();
    }

   private:
    // The drive, its disc and the track's sectors.
    RipStatus FindTrack() {
        if (!m_library->SelectDrive(m_request.drive)) return kRipDriveNotFound;
        if (m_library->CheckMedia() != cdrip::MediaCheck::kPresent) return kRipNoDisc;
        cdrip::DriveRecord record = m_library->ReadDriveRecord();
        record.sectors_per_read = kRipSectorsPerRead;
        m_library->WriteDriveRecord(record);
        if (!m_library->ReadToc()) return kRipTocUnreadable;
        const int tracks = m_library->TocEntryCount();
        if (m_request.track < 0 || m_request.track >= tracks) return kRipTrackNotFound;
        std::vector<cdrip::TocEntry> entries;
        for (int index = 0; index <= tracks; ++index)
            entries.push_back(m_library->ReadTocEntry(index));
        const auto track = static_cast<std::size_t>(m_request.track);
        if (entries[track].IsData()) return kRipDataTrack;
        m_range = TrackSectors(entries, track);
        if (m_range.last >= m_range.first)
            m_expected_bytes =
                (std::uint64_t{m_range.last} - m_range.first + 1) * cdrip::kSectorBytes;
        return kRipOk;
    }

    RipStatus Open() {
        const std::optional<std::size_t> chunk_bytes =
            m_library->OpenRipper(m_range.first, m_range.last);
        if (!chunk_bytes) return kRipRipperNotOpened;
        m_buffer.resize(*chunk_bytes);
        // Ripping an image onto its own files would lose the disc.
        if (IsOneOfTheFiles(m_request.output_path, m_library->SourceFiles()))
            return kRipOutputNotCreated;
        m_output = StagedOutput::Create(m_request.output_path);
        if (!m_output) return kRipOutputNotCreated;
        if (FAILED(WriteWaveHeader(m_output->fd(), 0, kWaveRateHz, kWaveChannels)))
            return kRipWriteFailed;
        return kRipOk;
    }

    RipStatus CopyChunks() {
        const auto stop = [this] { return m_report.StopRequested(); };
        for (;;) {
            const cdrip::Chunk chunk = m_library->ReadChunk(m_buffer, stop);
            // A wait given up for a stop fails the chunk too.
            if (chunk.status == cdrip::ChunkStatus::kFailed)
                return stop() ? kRipStopped : kRipReadFailed;
            if (!WriteFully(m_output->fd(), m_buffer.data(), chunk.bytes)) return kRipWriteFailed;
            m_written += chunk.bytes;
            if (stop()) return kRipStopped;
            m_report.Progress(m_written);
            if (chunk.status == cdrip::ChunkStatus::kLast) return kRipOk;
        }
    }

    RipStatus Finish() {
        if (FAILED(WriteWaveHeader(m_output->fd(), static_cast<DWORD>(m_written), kWaveRateHz,
                                   kWaveChannels)) ||
            !m_output->CloseFile())
            return kRipWriteFailed;
        if (!m_output->Commit()) return kRipOutputNotCreated;
        m_library->CloseRipper();
        m_report.Finish(kRipFinished, m_written);
        return kRipFinished;
    }

    JobReport& m_report;
    const RipRequest& m_request;
    std::optional<cdrip::CdRipLibrary> m_library;
    SectorRange m_range;
    std::uint64_t m_expected_bytes = 0;
    std::vector<std::uint8_t> m_buffer;
    std::optional<StagedOutput> m_output;  // removed unless it reaches its place
    std::uint64_t m_written = 0;
};

}  // namespace

DWORD RunRip(JobChannel& channel, const RipRequest& request) {
    JobReport report(channel, kRipLayout, request.interval_ms);
    if (!report.Prepare()) return report.End(0);
    RipStatus status;
    {
        // The rip's files and the library go before the script hears the end.
        TrackRip rip(report, request);
        status = rip.Run();
    }
    return report.End(status);
}

}  // namespace nb::external::cd
