#include "platform/isomedia/tests/iso_file_reader.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

namespace nb::isomedia::testing {
namespace {

// Boxes holding only boxes, and those with a fixed prefix before their boxes.
const std::set<std::string> kContainers = {"moov", "trak", "edts", "mdia",
                                           "minf", "dinf", "stbl", "udta"};
std::size_t ChildrenStart(const std::string& type) {
    if (kContainers.count(type)) return 0;
    if (type == "stsd" || type == "dref") return 8;  // version, flags, entry count
    if (type == "mp4a") return 28;                   // the audio sample entry's fields
    return std::string::npos;
}

bool ReadBoxes(const std::vector<std::uint8_t>& bytes, std::uint64_t from, std::uint64_t to,
               std::vector<Box>& boxes) {
    std::uint64_t at = from;
    while (at + 8 <= to) {
        std::uint64_t size = 0;
        for (int i = 0; i < 4; ++i) size = size << 8 | bytes[at + i];
        std::uint64_t header = 8;
        if (size == 1) {
            if (at + 16 > to) return false;
            size = 0;
            for (int i = 8; i < 16; ++i) size = size << 8 | bytes[at + i];
            header = 16;
        }
        if (size < header || at + size > to) return false;
        Box box;
        box.type.assign(bytes.begin() + static_cast<long>(at + 4),
                        bytes.begin() + static_cast<long>(at + 8));
        box.offset = at;
        box.body.assign(bytes.begin() + static_cast<long>(at + header),
                        bytes.begin() + static_cast<long>(at + size));
        const std::size_t start = ChildrenStart(box.type);
        if (start != std::string::npos &&
            !ReadBoxes(bytes, at + header + start, at + size, box.children))
            return false;
        boxes.push_back(std::move(box));
        at += size;
    }
    return at == to;
}

}  // namespace

const Box* Box::Find(const std::string& path) const {
    const std::size_t slash = path.find('/');
    const std::string first = path.substr(0, slash);
    for (const Box& child : children) {
        if (child.type != first) continue;
        if (slash == std::string::npos) return &child;
        if (const Box* found = child.Find(path.substr(slash + 1))) return found;
    }
    return nullptr;
}

std::vector<std::string> Box::ChildTypes() const {
    std::vector<std::string> types;
    for (const Box& child : children) types.push_back(child.type);
    return types;
}

std::uint16_t Box::U16(std::size_t at) const {
    return static_cast<std::uint16_t>(body.at(at) << 8 | body.at(at + 1));
}

std::uint32_t Box::U32(std::size_t at) const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | body.at(at + i);
    return value;
}

std::uint64_t Box::U64(std::size_t at) const { return std::uint64_t{U32(at)} << 32 | U32(at + 4); }

IsoFile ReadIsoFile(const std::string& path) {
    IsoFile file;
    std::ifstream in(path, std::ios::binary);
    file.bytes.assign(std::istreambuf_iterator<char>(in), {});
    file.ok =
        !file.bytes.empty() && ReadBoxes(file.bytes, 0, file.bytes.size(), file.root.children);
    return file;
}

std::vector<std::vector<std::uint8_t>> TrackSamples(const IsoFile& file) {
    std::vector<std::vector<std::uint8_t>> samples;
    const Box* stbl = file.root.Find("moov/trak/mdia/minf/stbl");
    if (!stbl) return samples;
    const Box* stsz = stbl->Find("stsz");
    const Box* stsc = stbl->Find("stsc");
    const Box* stco = stbl->Find("stco");
    const Box* co64 = stbl->Find("co64");
    if (!stsz || !stsc || (!stco && !co64)) return samples;
    const std::uint32_t uniform = stsz->U32(4);
    const std::uint32_t count = stsz->U32(8);
    const std::uint32_t chunks = (stco ? stco : co64)->U32(4);
    const std::uint32_t runs = stsc->U32(4);
    std::uint32_t sample = 0;
    for (std::uint32_t chunk = 1; chunk <= chunks; ++chunk) {
        std::uint32_t per_chunk = 0;
        for (std::uint32_t run = 0; run < runs; ++run)
            if (stsc->U32(8 + run * 12) <= chunk) per_chunk = stsc->U32(12 + run * 12);
        std::uint64_t offset =
            stco ? stco->U32(8 + (chunk - 1) * 4) : co64->U64(8 + (chunk - 1) * 8);
        for (std::uint32_t i = 0; i < per_chunk && sample < count; ++i, ++sample) {
            const std::uint32_t size = uniform ? uniform : stsz->U32(12 + sample * 4);
            if (offset + size > file.bytes.size()) return samples;
            samples.emplace_back(file.bytes.begin() + static_cast<long>(offset),
                                 file.bytes.begin() + static_cast<long>(offset + size));
            offset += size;
        }
    }
    return samples;
}

int RunCapturing(const std::string& command_line, std::string& output) {
    output.clear();
    FILE* pipe = popen((command_line + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace nb::isomedia::testing
