// Opens the input as a resource library, then lists the types and names it
// claims and finds and loads each, reading every byte handed out. A loaded
// resource must hold exactly the size its entry announces, and a range read
// of it the same bytes. Only the first few of each are visited: every lookup
// scans its directory, and thousands of entries squared would only slow the
// search down.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/resources/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nb::PeResourceLibrary::OpenResult opened =
        nb::PeResourceLibrary::FromBytes(std::span<const std::uint8_t>(data, size));
    if (!opened.library) return 0;
    const nb::PeResourceLibrary& library = *opened.library;
    constexpr std::size_t kVisited = 16;
    unsigned checksum = 0;
    std::vector<nb::ResourceId> types = library.Types();
    types.resize(std::min(types.size(), kVisited), nb::ResourceId(WORD{0}));
    for (const nb::ResourceId& type : types) {
        std::vector<nb::ResourceId> names = library.Names(type);
        names.resize(std::min(names.size(), kVisited), nb::ResourceId(WORD{0}));
        for (const nb::ResourceId& name : names) {
            std::optional<nb::ResourceEntry> entry = library.Find(type, name);
            if (!entry) continue;
            std::optional<std::span<const std::uint8_t>> bytes = library.Load(*entry);
            if (!bytes) continue;
            if (bytes->size() != nb::PeResourceLibrary::Size(*entry)) std::abort();
            for (std::uint8_t byte : *bytes) checksum += byte;
            // A range read answers the same bytes as the whole.
            std::vector<std::uint8_t> tail(bytes->size() / 2);
            auto from = static_cast<std::uint32_t>(bytes->size() - tail.size());
            if (!library.Read(*entry, from, tail) ||
                !std::equal(tail.begin(), tail.end(), bytes->begin() + from))
                std::abort();
        }
    }
    // Lookups by number, by "#" form and by a name in another case.
    for (const nb::ResourceId& name :
         {nb::ResourceId(u"main.html"), nb::ResourceId(u"#1"), nb::ResourceId(WORD{1})}) {
        if (std::optional<nb::ResourceEntry> entry = library.Find(nb::RT_HTML, name))
            if (std::optional<std::span<const std::uint8_t>> bytes = library.Load(*entry))
                for (std::uint8_t byte : *bytes) checksum += byte;
    }
    volatile unsigned sink = checksum;
    (void)sink;
    return 0;
}
