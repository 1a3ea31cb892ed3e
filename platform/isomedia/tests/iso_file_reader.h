// Reads back the box tree of a file the tests wrote, so that tests can look
// at single fields besides what the outside tools say about the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nb::isomedia::testing {

struct Box {
    std::string type;
    std::uint64_t offset = 0;        // of the box in the file
    std::vector<std::uint8_t> body;  // everything after the size and type
    std::vector<Box> children;       // of the container boxes

    // The first descendant along a path such as "moov/trak/mdia/mdhd"; null
    // when there is none.
    const Box* Find(const std::string& path) const;
    std::vector<std::string> ChildTypes() const;
    std::uint32_t U32(std::size_t at) const;
    std::uint64_t U64(std::size_t at) const;
    std::uint16_t U16(std::size_t at) const;
};

// The file's top-level boxes as children of a root box; a box whose size
// runs past its parent fails the read (ok false).
struct IsoFile {
    bool ok = false;
    Box root;
    std::vector<std::uint8_t> bytes;
};
IsoFile ReadIsoFile(const std::string& path);

// Samples of the first track as the sample table places them in the file.
std::vector<std::vector<std::uint8_t>> TrackSamples(const IsoFile& file);

// Runs a command line; its exit code, with standard output and standard
// error together in output.
int RunCapturing(const std::string& command_line, std::string& output);

}  // namespace nb::isomedia::testing
