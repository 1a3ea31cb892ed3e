// The drives as libcdio reaches them: the machine's CD devices and a disc
// image, each opened, checked for a disc and read for its table of contents.
// These calls may block on a drive that does not answer: they run on the
// drive thread only.
#pragma once

#include <cdio/cdio.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/cdrip/cdrip.h"

namespace nb::cdrip {

enum class DriveKind { kDevice, kImage };

struct DriveEntry {
    DriveKind kind = DriveKind::kDevice;
    std::string path;  // the device, or the image's cue sheet
    std::string name;  // as the drive record shows it
};

struct CdioCloser {
    void operator()(CdIo_t* cdio) const;
};
using CdioHandle = std::unique_ptr<CdIo_t, CdioCloser>;

// The machine's CD devices, each once, named by vendor, model and revision.
std::vector<DriveEntry> ListDevices();
DriveEntry ImageDrive(const std::string& cue_path);

// The BIN the image reader takes for a sheet: its name with "cue" (or "CUE")
// replaced by "bin" ("BIN"); nothing for a sheet not named so.
std::optional<std::string> BinPathOf(const std::string& cue_path);

// Whether the drive holds a disc; a device is opened into handle when it is
// not yet, and asked again while it spins up, until deadline. An image holds
// one when its sheet and BIN are there.
MediaCheck CheckMedia(const DriveEntry& drive, CdioHandle& handle,
                      std::chrono::steady_clock::time_point deadline);

// The drive opened for reading; an image only once its sheet has passed
// ParseCueSheet. Null when it cannot be opened.
CdioHandle OpenDrive(const DriveEntry& drive);

// The tracks and the lead-out, or nothing when the drive has no table of
// contents to give (no disc, no tracks, or entries out of range).
std::optional<std::vector<TocEntry>> ReadTableOfContents(CdIo_t* cdio);

}  // namespace nb::cdrip
