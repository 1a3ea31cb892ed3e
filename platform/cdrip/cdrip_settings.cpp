#include "platform/cdrip/cdrip_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/kernel/fd_io.h"
#include "platform/kernel/unique_fd.h"
#include "platform/profile/ini_document.h"
#include "platform/text/code_pages.h"

namespace nb::cdrip {
namespace {

constexpr char16_t kSection[] = u"CDRip";
constexpr char16_t kDiscImageKey[] = u"DiscImage";
constexpr char16_t kDriveTimeoutKey[] = u"DriveTimeoutMs";
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;
constexpr std::chrono::milliseconds kShortestTimeout{100};
constexpr std::chrono::milliseconds kLongestTimeout{600000};

std::string DefaultText() {
    return "; The CD ripping layer's settings.\n"
           "[CDRip]\n"
           "; A cue sheet that stands as a drive; its BIN lies beside it under the same name.\n"
           "DiscImage=\n"
           "; Milliseconds a drive may take to answer before it counts as not answering.\n"
           "DriveTimeoutMs=" +
           std::to_string(kDefaultDriveTimeout.count()) + "\n";
}

// The file's text when it is one to trust: a plain file (no link) of this
// user, writable by nobody else, of a sensible size.
std::optional<std::string> TrustedText(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
        info.st_size > static_cast<off_t>(kMaxSettingsBytes))
        return std::nullopt;
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    const ReadResult read = ReadFully(fd.Get(), text.data(), text.size());
    if (read.failed) return std::nullopt;
    text.resize(read.bytes);
    return text;
}

// Decimal digits only; anything else keeps the default.
std::optional<std::chrono::milliseconds> TimeoutOf(std::u16string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return std::clamp(std::chrono::milliseconds(value), kShortestTimeout, kLongestTimeout);
}

}  // namespace

CdRipSettings ReadSettings(const std::string& settings_path) {
    CdRipSettings settings;
    if (const std::optional<std::string> text = TrustedText(settings_path)) {
        const IniDocument document = IniDocument::Parse(*text);
        if (auto image = document.Get(kSection, kDiscImageKey))
            settings.disc_image = ToUtf8(*image);
        if (auto timeout = document.Get(kSection, kDriveTimeoutKey))
            settings.drive_timeout = TimeoutOf(*timeout).value_or(kDefaultDriveTimeout);
    }
    if (const char* image = std::getenv(kDiscImageVariable); image && image[0] != '\0')
        settings.disc_image = image;
    return settings;
}

bool WriteDefaultSettings(const std::string& settings_path) {
    UniqueFd fd(::open(settings_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       S_IRUSR | S_IWUSR));
    if (!fd.IsOpen()) return false;
    if (WriteFully(fd.Get(), DefaultText()) && fd.Close()) return true;
    ::unlink(settings_path.c_str());
    return false;
}

}  // namespace nb::cdrip
