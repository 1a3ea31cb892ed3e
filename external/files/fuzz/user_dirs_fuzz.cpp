// user-dirs.dirs text as any program (or person) may have written it. Every
// folder found must be absolute, without a trailing slash or a zero byte.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "external/files/user_dirs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"XDG_DESKTOP_DIR", "XDG_MUSIC_DIR", "XDG_PICTURES_DIR"}) {
        for (const char* home : {"/home/u", "/", "/home/u/"}) {
            const auto folder = nb::external::FindUserDir(text, key, home);
            if (!folder) continue;
            if (folder->empty() || folder->front() != '/') std::abort();
            if (folder->size() > 1 && folder->back() == '/') std::abort();
            if (folder->find('\0') != std::string::npos) std::abort();
        }
    }
    return 0;
}
