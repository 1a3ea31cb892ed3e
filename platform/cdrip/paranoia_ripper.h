// Reading a range of audio sectors through libcdio-paranoia with its full
// error correction: overlapping reads, verification, and a bounded number of
// retries after which a sector counts as unreadable. Runs on the drive thread.
#pragma once

#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdint>
#include <memory>

#include "platform/cdrip/cdrip.h"

namespace nb::cdrip {

class ParanoiaRipper {
   public:
    // Over sectors first to last (inclusive) of an opened drive, which must
    // outlive the ripper. Null when paranoia cannot take the drive.
    static std::unique_ptr<ParanoiaRipper> Open(CdIo_t* cdio, std::uint32_t first,
                                                std::uint32_t last);
    ~ParanoiaRipper();
    ParanoiaRipper(const ParanoiaRipper&) = delete;
    ParanoiaRipper& operator=(const ParanoiaRipper&) = delete;

    // Reads the next sectors, at most count, into out (count x kSectorBytes).
    // Fails at the first sector paranoia could not read, and at the first
    // sector from the disc's lead-out on, which the disc does not hold.
    Chunk Read(std::uint8_t* out, std::int32_t count);

    const RipReport& report() const { return m_report; }

   private:
    ParanoiaRipper(cdrom_drive_t* drive, cdrom_paranoia_t* paranoia, std::uint32_t first,
                   std::uint32_t last, std::uint32_t lead_out)
        : m_drive(drive), m_paranoia(paranoia), m_next(first), m_last(last), m_lead_out(lead_out) {}

    cdrom_drive_t* m_drive;
    cdrom_paranoia_t* m_paranoia;
    std::uint32_t m_next;
    std::uint32_t m_last;
    std::uint32_t m_lead_out;
    RipReport m_report;
};

}  // namespace nb::cdrip
