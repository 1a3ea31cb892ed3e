// Resources of a resource library: a PE file (32- or 64-bit) read as data,
// never loaded as code. The local server finds its pages here as resources
// of type 23 (RT_HTML), so the same packages serve every platform.
//
// The calls follow the steps a Windows program takes with a library loaded
// as a data file: open it (LoadLibraryEx), find a resource by type and name
// (FindResource), take its bytes (LoadResource, SizeofResource,
// LockResource). Every offset and size read from the file is checked against
// the file before it is used; a damaged file fails, it never reads out of
// bounds. An opened file is not read whole: its headers and the start of its
// resource section (where the directories lie) are read at once, resource
// bytes only when asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/wintypes.h"
#include "platform/kernel/unique_fd.h"

namespace nb {

constexpr WORD RT_HTML = 23;

// A resource type or name: a 16-bit number or a string. Strings are compared
// case-insensitively, as Windows does (resource compilers store names upper
// case). Text of the form "#<decimal>" names the number, as Windows reads it.
class NB_EXPORT ResourceId {
   public:
    // Implicit, so that Find(RT_HTML, u"PAGES/MAIN.HTML") reads naturally.
    ResourceId(WORD number);
    ResourceId(std::u16string_view name);
    ResourceId(const char16_t* name) : ResourceId(std::u16string_view(name)) {}

    bool is_number() const { return m_is_number; }
    // The number, or 0 for a string.
    WORD number() const { return m_number; }
    // The string as given, or empty for a number.
    const std::u16string& name() const { return m_name; }

   private:
    // A name read from a file, taken as it is even when it starts with "#".
    static ResourceId StoredName(std::u16string name);

    bool m_is_number = true;
    // "#<decimal>" beyond 16 bits, or "#" followed by something else: a
    // number no resource carries, so it matches nothing.
    bool m_matches_nothing = false;
    WORD m_number = 0;
    std::u16string m_name;

    friend class PeResourceLibrary;
};

// Where a found resource lies; hand it back to Load and Size.
struct ResourceEntry {
    DWORD data_rva = 0;
    DWORD size = 0;
    DWORD code_page = 0;
    WORD language = 0;
};

enum class PeOpenError {
    kCannotRead,  // missing, unreadable, not a regular file, or too big for memory
    kNotPe,       // no "MZ" header leading to a "PE\0\0" signature
    kMalformed,   // PE headers or section table out of bounds or inconsistent
};

class NB_EXPORT PeResourceLibrary {
   public:
    struct OpenResult {
        std::unique_ptr<PeResourceLibrary> library;  // null on failure
        PeOpenError error = PeOpenError::kCannotRead;
    };

    // Opens the file at path (UTF-8), which stays open, and checks its
    // headers and section table. A PE file without resources opens; finding
    // in it fails.
    [[nodiscard]] static OpenResult Open(const std::string& path);
    // The same over bytes already in memory (copied).
    [[nodiscard]] static OpenResult FromBytes(std::span<const std::uint8_t> bytes);

    ~PeResourceLibrary();
    PeResourceLibrary(const PeResourceLibrary&) = delete;
    PeResourceLibrary& operator=(const PeResourceLibrary&) = delete;

    // True for a PE32+ (64-bit) file, false for PE32.
    bool is_64_bit() const { return m_is_64_bit; }

    // The resource of this type and name. When it exists in several
    // languages, the language-neutral one is taken, then US English, then
    // the first listed. Nothing when the library has no such resource or its
    // resource directory is damaged on the way there.
    [[nodiscard]] std::optional<ResourceEntry> Find(const ResourceId& type,
                                                    const ResourceId& name) const;

    // The bytes of a found resource, valid while this library lives (an
    // opened file's are read and kept). Nothing when the data lies outside
    // the file's sections or the file no longer holds it (an empty resource
    // always loads, as an empty view).
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> Load(
        const ResourceEntry& entry) const;
    // Copies the resource's bytes [from, from + into.size()) into `into`,
    // keeping nothing: for callers that copy the bytes elsewhere anyway.
    // False when Load would fail or the range passes the resource's end.
    [[nodiscard]] bool Read(const ResourceEntry& entry, std::uint32_t from,
                            std::span<std::uint8_t> into) const;
    static DWORD Size(const ResourceEntry& entry) { return entry.size; }

    // Every type, and every name of one type, in directory order (named
    // entries first, as the format keeps them). Damaged entries are skipped.
    [[nodiscard]] std::vector<ResourceId> Types() const;
    [[nodiscard]] std::vector<ResourceId> Names(const ResourceId& type) const;

   private:
    struct Section {
        DWORD virtual_address;
        DWORD virtual_size;
        DWORD raw_offset;
        DWORD raw_size;  // clipped to the file
    };

    // The file's bytes: an open file read where needed, with one stretch of
    // it kept in memory (all of it for a library made from bytes).
    struct Source {
        nb::UniqueFd file;
        std::uint64_t size = 0;
        std::vector<std::uint8_t> kept;
        std::uint64_t kept_offset = 0;

        // False when the file does not hold all of [offset, offset + size).
        bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const;
        // The kept bytes of [offset, offset + size), or nothing.
        std::optional<std::span<const std::uint8_t>> Kept(std::uint64_t offset,
                                                          std::size_t size) const;
    };
    // Where the resource directory lies in the file: offsets of the
    // directory are relative to its root and bounded by its section.
    struct Extent {
        std::uint64_t offset = 0;
        std::size_t size = 0;
    };

    PeResourceLibrary(Source source, bool is_64_bit, std::vector<Section> sections,
                      DWORD resource_rva);
    static OpenResult Parse(Source source);

    // Where the file bytes of [rva, rva + size) lie, when one section holds
    // them all.
    std::optional<std::uint64_t> MapRva(DWORD rva, DWORD size) const;
    Extent DirectoryExtent() const;
    // Directory bytes [offset, offset + into.size()); false outside the directory.
    bool ReadDirectoryBytes(std::size_t offset, std::span<std::uint8_t> into) const;

    // One entry of a resource directory, as stored: a name (string offset
    // with the high bit set) or id, and a data entry or subdirectory offset
    // (high bit set).
    struct DirectoryEntry {
        DWORD name_field;
        DWORD offset_field;
    };
    std::vector<DirectoryEntry> ReadDirectory(DWORD offset) const;
    std::optional<DirectoryEntry> FindIn(DWORD directory_offset, const ResourceId& id) const;
    bool Matches(const DirectoryEntry& entry, const ResourceId& id) const;
    std::optional<std::u16string> ReadName(DWORD offset) const;
    std::vector<ResourceId> IdsOf(DWORD directory_offset) const;
    std::optional<ResourceEntry> ReadDataEntry(DWORD offset, WORD language) const;

    Source m_source;
    bool m_is_64_bit = false;
    std::vector<Section> m_sections;
    DWORD m_resource_rva = 0;  // 0: the file has no resources
    Extent m_directory;
    // What Load read from an opened file, kept for the spans it handed out.
    mutable std::mutex m_loaded_lock;
    mutable std::vector<std::vector<std::uint8_t>> m_loaded;
};

}  // namespace nb
