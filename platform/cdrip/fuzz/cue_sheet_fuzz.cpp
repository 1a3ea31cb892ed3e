// Parses the input as a cue sheet. A sheet the check passes must describe
// 1 to 99 tracks numbered from 1 and starting one after the other; it is
// then written beside a small BIN and opened through libcdio's image reader,
// the reader the check guards, whose table of contents must agree with the
// check's tracks, start for start and kind for kind.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/cdrip/cdio_drives.h"
#include "platform/cdrip/cue_sheet.h"

namespace {

using namespace nb::cdrip;

void Check(bool condition) {
    if (!condition) std::abort();
}

// One folder for the whole run, holding the sheet and a BIN of ten sectors,
// removed when the run ends.
struct ScratchFolder {
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cuefuzz.XXXXXX").string();
        Check(mkdtemp(pattern.data()) != nullptr);
        path = pattern;
        std::ofstream(path + "/disc.bin") << std::string(10 * kSectorBytes, '\0');
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::string path;
};

const std::string& Folder() {
    static const ScratchFolder folder;
    return folder.path;
}

void CheckShape(const CueSheet& sheet) {
    Check(!sheet.tracks.empty() && sheet.tracks.size() <= 99);
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        Check(sheet.tracks[i].number == static_cast<int>(i) + 1);
        if (i > 0) Check(sheet.tracks[i].start_sector > sheet.tracks[i - 1].start_sector);
    }
}

void CheckTheReaderAgrees(std::string_view text, const CueSheet& sheet) {
    const std::string cue = Folder() + "/disc.cue";
    std::ofstream(cue, std::ios::binary | std::ios::trunc) << text;
    const CdioHandle cdio = OpenDrive(ImageDrive(cue));
    Check(cdio != nullptr);
    const std::optional<std::vector<TocEntry>> entries = ReadTableOfContents(cdio.get());
    Check(entries && entries->size() == sheet.tracks.size() + 1);
    for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
        Check((*entries)[i].start_sector == sheet.tracks[i].start_sector);
        Check((*entries)[i].IsData() == !sheet.tracks[i].audio);
    }
    Check(entries->back().start_sector == 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<CueSheet> sheet = ParseCueSheet(text);
    if (!sheet) return 0;
    CheckShape(*sheet);
    CheckTheReaderAgrees(text, *sheet);
    return 0;
}
