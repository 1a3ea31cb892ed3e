#include "platform/cdrip/paranoia_ripper.h"

#include <cstdio>
#include <cstring>

namespace nb::cdrip {
namespace {

// Paranoia's own default: retries before a sector counts as unreadable.
constexpr int kRetries = 20;

// Paranoia's callback carries no context; the reads of one ripper run on
// its drive's thread, which points this at the ripper's report meanwhile.
thread_local RipReport* t_report = nullptr;

void Note(long, paranoia_cb_mode_t mode) {
    if (t_report == nullptr) return;
    switch (mode) {
        case PARANOIA_CB_SKIP:
            ++t_report->skips;
            break;
        case PARANOIA_CB_READERR:
            ++t_report->read_errors;
            break;
        case PARANOIA_CB_FIXUP_EDGE:
        case PARANOIA_CB_FIXUP_ATOM:
        case PARANOIA_CB_FIXUP_DROPPED:
        case PARANOIA_CB_FIXUP_DUPED:
        case PARANOIA_CB_DRIFT:
        case PARANOIA_CB_SCRATCH:
        case PARANOIA_CB_REPAIR:
            ++t_report->repairs;
            break;
        default:
            break;
    }
}

class ReportScope {
   public:
    explicit ReportScope(RipReport& report) { t_report = &report; }
    ~ReportScope() { t_report = nullptr; }
    ReportScope(const ReportScope&) = delete;
    ReportScope& operator=(const ReportScope&) = delete;
};

}  // namespace

std::unique_ptr<ParanoiaRipper> ParanoiaRipper::Open(CdIo_t* cdio, std::uint32_t first,
                                                     std::uint32_t last) {
    const lsn_t lead_out = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (first > last || lead_out < 0) return nullptr;
    cdrom_drive_t* drive = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
    if (drive == nullptr) return nullptr;
    // The samples are taken in the byte order MMC drives and images give
    // them, little-endian. Left undecided, the library guesses the order from
    // the sound itself, and swaps the bytes of sound that looks big-endian
    // to it, noise among others.
    drive->bigendianp = 0;
    cdrom_paranoia_t* paranoia = nullptr;
    if (cdio_cddap_open(drive) == 0) paranoia = cdio_paranoia_init(drive);
    if (paranoia == nullptr) {
        cdio_cddap_close_no_free_cdio(drive);
        return nullptr;
    }
    std::unique_ptr<ParanoiaRipper> ripper(
        new ParanoiaRipper(drive, paranoia, first, last, static_cast<std::uint32_t>(lead_out)));
    cdio_paranoia_modeset(paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    if (cdio_paranoia_seek(paranoia, static_cast<int32_t>(first), SEEK_SET) < 0) return nullptr;
    return ripper;
}

ParanoiaRipper::~ParanoiaRipper() {
    cdio_paranoia_free(m_paranoia);
    cdio_cddap_close_no_free_cdio(m_drive);
}

Chunk ParanoiaRipper::Read(std::uint8_t* out, std::int32_t count) {
    const ReportScope scope(m_report);
    Chunk chunk{ChunkStatus::kMore, 0};
    for (std::int32_t sector = 0; sector < count && m_next <= m_last; ++sector) {
        // An image's reader answers a read past the end of its BIN with
        // silence, and paranoia takes it: such a sector is not read at all.
        if (m_next >= m_lead_out) return {ChunkStatus::kFailed, chunk.bytes};
        const long skips = m_report.skips;
        const std::int16_t* samples = cdio_paranoia_read_limited(m_paranoia, Note, kRetries);
        // A skip means paranoia gave up on sectors and made their sound up.
        if (samples == nullptr || m_report.skips != skips)
            return {ChunkStatus::kFailed, chunk.bytes};
        std::memcpy(out + chunk.bytes, samples, kSectorBytes);
        chunk.bytes += kSectorBytes;
        ++m_next;
    }
    if (m_next > m_last) chunk.status = ChunkStatus::kLast;
    return chunk;
}

}  // namespace nb::cdrip
