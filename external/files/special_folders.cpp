#include "external/files/special_folders.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <optional>

#include "external/files/user_places.h"

namespace nb::external {
namespace {

// Where a folder lives: a fixed system path (the first existing one of a
// ':'-separated list), or a place under one of the user's base folders.
enum class Base { System, Home, ConfigHome, DataHome, CacheHome, UserDirs };

struct FolderRow {
    std::u16string_view name;
    Base base;
    // System: candidate paths. UserDirs: the user-dirs.dirs key. Otherwise
    // the path below the base, empty for the base itself.
    std::string_view place;
    // UserDirs: the folder under home when user-dirs.dirs names none.
    std::string_view default_name = {};
};

// Each name selects the folder of its own kind on a Linux desktop:
//   Windows                   /usr (the installed system)
//   System                    /usr/lib
//   SystemX86                 the 32-bit library folder, else /usr/lib (one
//                             folder for both, as on a 32-bit system)
//   Fonts                     $XDG_DATA_HOME/fonts (the user's fonts)
//   ProgramData               /var/lib (data of programs for every user)
//   ProgramFiles(X86)         /opt (add-on programs, each in its folder)
//   ProgramFilesCommon(X86)   /usr/share (parts programs share)
//   CommonStartup             /etc/xdg/autostart
//   RecycleBinFolder          $XDG_DATA_HOME/Trash (the user's trash can)
//   Profile                   $HOME
//   RoamingAppData            $XDG_CONFIG_HOME
//   LocalAppData              $XDG_DATA_HOME
//   Desktop, Music, Pictures, Videos
//                             the user-dirs.dirs folders, else ~/Desktop,
//                             ~/Music, ~/Pictures, ~/Videos
//   InternetCache             $XDG_CACHE_HOME
//   Cookies                   $XDG_DATA_HOME/nimbra/cookies (our cookie store)
//   Programs, StartMenu       $XDG_DATA_HOME/applications (menu entries)
//   SendTo                    $XDG_DATA_HOME/nautilus/scripts (the file
//                             manager's "send to" scripts)
//   Startup                   $XDG_CONFIG_HOME/autostart
constexpr std::array kFolders = {
    FolderRow{u"Windows", Base::System, "/usr"},
    FolderRow{u"System", Base::System, "/usr/lib"},
    FolderRow{u"SystemX86", Base::System, "/usr/lib/i386-linux-gnu:/usr/lib32:/usr/lib"},
    FolderRow{u"Fonts", Base::DataHome, "fonts"},
    FolderRow{u"ProgramData", Base::System, "/var/lib"},
    FolderRow{u"ProgramFiles", Base::System, "/opt"},
    FolderRow{u"ProgramFilesX86", Base::System, "/opt"},
    FolderRow{u"ProgramFilesCommon", Base::System, "/usr/share"},
    FolderRow{u"ProgramFilesCommonX86", Base::System, "/usr/share"},
    FolderRow{u"CommonStartup", Base::System, "/etc/xdg/autostart"},
    FolderRow{u"RecycleBinFolder", Base::DataHome, "Trash"},
    FolderRow{u"Profile", Base::Home, ""},
    FolderRow{u"RoamingAppData", Base::ConfigHome, ""},
    FolderRow{u"LocalAppData", Base::DataHome, ""},
    FolderRow{u"Desktop", Base::UserDirs, "XDG_DESKTOP_DIR", "Desktop"},
    FolderRow{u"Music", Base::UserDirs, "XDG_MUSIC_DIR", "Music"},
    FolderRow{u"Pictures", Base::UserDirs, "XDG_PICTURES_DIR", "Pictures"},
    FolderRow{u"Videos", Base::UserDirs, "XDG_VIDEOS_DIR", "Videos"},
    FolderRow{u"InternetCache", Base::CacheHome, ""},
    FolderRow{u"Cookies", Base::DataHome, "nimbra/cookies"},
    FolderRow{u"Programs", Base::DataHome, "applications"},
    FolderRow{u"SendTo", Base::DataHome, "nautilus/scripts"},
    FolderRow{u"StartMenu", Base::DataHome, "applications"},
    FolderRow{u"Startup", Base::ConfigHome, "autostart"},
};

// New folders are private, as the base-directory convention asks.
constexpr mode_t kNewFolderMode = 0700;

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes path and every missing parent; true when path is a folder after.
bool MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (::mkdir(parent.c_str(), kNewFolderMode) != 0 && errno != EEXIST) return false;
    }
    if (::mkdir(path.c_str(), kNewFolderMode) != 0 && errno != EEXIST) return false;
    return IsFolder(path);
}

std::optional<std::string> FirstExistingFolder(std::string_view candidates) {
    while (!candidates.empty()) {
        const std::size_t end = candidates.find(':');
        const std::string path(candidates.substr(0, end));
        if (IsFolder(path)) return path;
        if (end == std::string_view::npos) break;
        candidates.remove_prefix(end + 1);
    }
    return std::nullopt;
}

std::optional<std::string> BaseFolder(Base base) {
    switch (base) {
        case Base::Home:
            return HomeDirectory();
        case Base::ConfigHome:
            return ConfigHome();
        case Base::DataHome:
            return DataHome();
        case Base::CacheHome:
            return CacheHome();
        case Base::System:
        case Base::UserDirs:
            break;
    }
    return std::nullopt;
}

std::optional<std::string> UserFolder(const FolderRow& row) {
    if (row.base == Base::UserDirs) return UserDirectory(row.place, row.default_name);
    std::optional<std::string> base = BaseFolder(row.base);
    if (!base || row.place.empty()) return base;
    return *base + "/" + std::string(row.place);
}

FolderAnswer Locate(const FolderRow& row) {
    if (row.base == Base::System) {
        if (auto path = FirstExistingFolder(row.place)) return {FolderStatus::Found, *path};
        return {FolderStatus::Unavailable, {}};
    }
    const std::optional<std::string> path = UserFolder(row);
    if (!path || !MakeFolders(*path)) return {FolderStatus::Unavailable, {}};
    return {FolderStatus::Found, *path};
}

}  // namespace

FolderAnswer FindSpecialFolder(std::u16string_view name) {
    for (const FolderRow& row : kFolders) {
        if (row.name == name) return Locate(row);
    }
    return {FolderStatus::UnknownName, {}};
}

}  // namespace nb::external
