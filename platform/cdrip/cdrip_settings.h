// The ripping layer's settings: its file in the temporary folder, section
// [CDRip], and the environment.
//
//     DiscImage=/home/me/album.cue   a cue sheet that stands as a drive (its
//                                    BIN beside it, named alike)
//     DriveTimeoutMs=20000           how long a drive may take to answer
//
// NIMBRA_CD_IMAGE, when set and not empty, names the image instead of the
// key. The temporary folder is shared, so the file is read only when it is a
// plain file of this user that nobody else may write, and it is only ever
// created, never rewritten: a file planted there cannot steer the layer, and
// a link there cannot make it write elsewhere.
#pragma once

#include <chrono>
#include <string>

namespace nb::cdrip {

constexpr char kDiscImageVariable[] = "NIMBRA_CD_IMAGE";
constexpr std::chrono::milliseconds kDefaultDriveTimeout{20000};

struct CdRipSettings {
    std::string disc_image;  // empty for none
    std::chrono::milliseconds drive_timeout = kDefaultDriveTimeout;
};

// The settings from the file (defaults for what it lacks or when it is not
// one to trust) and the environment.
CdRipSettings ReadSettings(const std::string& settings_path);

// Creates the file with every key at its default when there is none, so a
// person finds the keys; leaves an existing file (or anything else by that
// name) alone. False when the file was not created.
bool WriteDefaultSettings(const std::string& settings_path);

}  // namespace nb::cdrip
