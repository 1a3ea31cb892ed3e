#include "platform/resources/pe_resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <new>

#include "platform/kernel/fd_io.h"
#include "platform/text/case_fold.h"

namespace nb {
namespace {

// Offsets and sizes of the PE format that this reader needs.
constexpr std::size_t kDosLfanewOffset = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr WORD kPe32Magic = 0x10B;
constexpr WORD kPe32PlusMagic = 0x20B;
// Within the optional header: the count of data directories and where the
// directories begin, for PE32 and PE32+.
constexpr std::size_t kRvaCountOffset32 = 92;
constexpr std::size_t kRvaCountOffset64 = 108;
constexpr DWORD kResourceDirectoryIndex = 2;
constexpr std::size_t kDataDirectorySize = 8;
// Windows refuses more sections than this.
constexpr WORD kMaxSections = 96;

constexpr std::size_t kResourceDirectorySize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;
constexpr DWORD kHighBit = 0x80000000u;

constexpr WORD kLanguageNeutral = 0x0000;
constexpr WORD kLanguageEnglishUs = 0x0409;

// The largest file read: PE sizes and offsets are 32-bit.
constexpr off_t kMaxFileSize = 0xFFFFFFFFll;

WORD ReadWord(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<WORD>(bytes[offset] | (bytes[offset + 1] << 8));
}

DWORD ReadDword(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<DWORD>(bytes[offset]) | (static_cast<DWORD>(bytes[offset + 1]) << 8) |
           (static_cast<DWORD>(bytes[offset + 2]) << 16) |
           (static_cast<DWORD>(bytes[offset + 3]) << 24);
}

bool Fits(std::size_t total, std::size_t offset, std::size_t size) {
    return offset <= total && size <= total - offset;
}

// "#<decimal>" as Windows reads it; nothing for text of another form, and
// a value beyond 32 bits.
std::optional<DWORD> ParseNumberForm(std::u16string_view text) {
    if (text.size() < 2 || text[0] != u'#') return std::nullopt;
    std::uint64_t value = 0;
    for (char16_t c : text.substr(1)) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<DWORD>(value);
}

// Reads the whole file; a regular file of at most 4 GiB.
std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path) {
    const nb::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) return std::nullopt;
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > kMaxFileSize)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(status.st_size));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    // A short read: the file shrank meanwhile; what was read is judged as is.
    const nb::ReadResult read = nb::ReadFully(file.Get(), bytes.data(), bytes.size());
    if (read.failed) return std::nullopt;
    bytes.resize(read.bytes);
    return bytes;
}

}  // namespace

ResourceId::ResourceId(WORD number) : m_number(number) {}

ResourceId::ResourceId(std::u16string_view name) {
    if (!name.empty() && name[0] == u'#') {
        std::optional<DWORD> number = ParseNumberForm(name);
        m_matches_nothing = !number || *number > 0xFFFF;
        m_number = m_matches_nothing ? 0 : static_cast<WORD>(*number);
        return;
    }
    m_is_number = false;
    m_name = name;
}

ResourceId ResourceId::StoredName(std::u16string name) {
    ResourceId id(WORD{0});
    id.m_is_number = false;
    id.m_name = std::move(name);
    return id;
}

PeResourceLibrary::PeResourceLibrary(std::vector<std::uint8_t> bytes, bool is_64_bit,
                                     std::vector<Section> sections, DWORD resource_rva)
    : m_bytes(std::move(bytes)),
      m_is_64_bit(is_64_bit),
      m_sections(std::move(sections)),
      m_resource_rva(resource_rva) {}

PeResourceLibrary::~PeResourceLibrary() = default;

PeResourceLibrary::OpenResult PeResourceLibrary::Open(const std::string& path) {
    std::optional<std::vector<std::uint8_t>> bytes = ReadFile(path);
    if (!bytes) return {nullptr, PeOpenError::kCannotRead};
    return Parse(std::move(*bytes));
}

PeResourceLibrary::OpenResult PeResourceLibrary::FromBytes(std::span<const std::uint8_t> bytes) {
    return Parse(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

PeResourceLibrary::OpenResult PeResourceLibrary::Parse(std::vector<std::uint8_t> bytes) {
    std::span<const std::uint8_t> file(bytes);
    if (file.size() < kDosLfanewOffset + 4 || file[0] != 'M' || file[1] != 'Z')
        return {nullptr, PeOpenError::kNotPe};
    DWORD pe_offset = ReadDword(file, kDosLfanewOffset);
    if (!Fits(file.size(), pe_offset, 4 + kCoffHeaderSize) || file[pe_offset] != 'P' ||
        file[pe_offset + 1] != 'E' || file[pe_offset + 2] != 0 || file[pe_offset + 3] != 0)
        return {nullptr, PeOpenError::kNotPe};

    std::size_t coff = std::size_t{pe_offset} + 4;
    WORD section_count = ReadWord(file, coff + 2);
    WORD optional_size = ReadWord(file, coff + 16);
    std::size_t optional = coff + kCoffHeaderSize;
    if (section_count > kMaxSections || !Fits(file.size(), optional, optional_size) ||
        optional_size < 2)
        return {nullptr, PeOpenError::kMalformed};

    WORD magic = ReadWord(file, optional);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return {nullptr, PeOpenError::kMalformed};
    bool is_64_bit = magic == kPe32PlusMagic;
    std::size_t count_offset = is_64_bit ? kRvaCountOffset64 : kRvaCountOffset32;
    DWORD resource_rva = 0;
    DWORD resource_size = 0;
    // The directory count and the directories must lie inside the optional
    // header the COFF header announces; missing ones mean no resources.
    if (Fits(optional_size, count_offset, 4)) {
        DWORD directory_count = ReadDword(file, optional + count_offset);
        std::size_t entry = count_offset + 4 + kResourceDirectoryIndex * kDataDirectorySize;
        if (directory_count > kResourceDirectoryIndex &&
            Fits(optional_size, entry, kDataDirectorySize)) {
            resource_rva = ReadDword(file, optional + entry);
            resource_size = ReadDword(file, optional + entry + 4);
        }
    }
    if (resource_size == 0) resource_rva = 0;

    std::size_t table = optional + optional_size;
    if (!Fits(file.size(), table, std::size_t{section_count} * kSectionHeaderSize))
        return {nullptr, PeOpenError::kMalformed};
    std::vector<Section> sections;
    sections.reserve(section_count);
    for (WORD i = 0; i < section_count; ++i) {
        std::size_t header = table + std::size_t{i} * kSectionHeaderSize;
        Section section{ReadDword(file, header + 12), ReadDword(file, header + 8),
                        ReadDword(file, header + 20), ReadDword(file, header + 16)};
        // Raw data past the end of the file is not there (a cut file):
        // clip it, so nothing is ever read beyond the bytes at hand.
        if (section.raw_offset >= file.size())
            section.raw_size = 0;
        else
            section.raw_size = static_cast<DWORD>(
                std::min<std::size_t>(section.raw_size, file.size() - section.raw_offset));
        sections.push_back(section);
    }
    return {std::unique_ptr<PeResourceLibrary>(new PeResourceLibrary(
                std::move(bytes), is_64_bit, std::move(sections), resource_rva)),
            PeOpenError::kCannotRead};
}

std::optional<std::span<const std::uint8_t>> PeResourceLibrary::MapRva(DWORD rva,
                                                                       DWORD size) const {
    for (const Section& section : m_sections) {
        if (rva < section.virtual_address) continue;
        std::size_t into = rva - section.virtual_address;
        // A section spans its virtual size in memory (its raw size when
        // that is 0); only the part backed by file bytes can be handed out.
        std::size_t extent = section.virtual_size ? section.virtual_size : section.raw_size;
        if (into >= extent) continue;
        if (!Fits(std::min<std::size_t>(extent, section.raw_size), into, size)) return std::nullopt;
        return std::span<const std::uint8_t>(m_bytes).subspan(section.raw_offset + into, size);
    }
    return std::nullopt;
}

std::span<const std::uint8_t> PeResourceLibrary::DirectoryBytes() const {
    if (m_resource_rva == 0) return {};
    for (const Section& section : m_sections) {
        if (m_resource_rva < section.virtual_address) continue;
        std::size_t into = m_resource_rva - section.virtual_address;
        std::size_t extent = section.virtual_size ? section.virtual_size : section.raw_size;
        if (into >= extent) continue;
        std::size_t backed = std::min<std::size_t>(extent, section.raw_size);
        if (into >= backed) return {};
        return std::span<const std::uint8_t>(m_bytes).subspan(section.raw_offset + into,
                                                              backed - into);
    }
    return {};
}

std::vector<PeResourceLibrary::DirectoryEntry> PeResourceLibrary::ReadDirectory(
    DWORD offset) const {
    std::span<const std::uint8_t> directory = DirectoryBytes();
    if (!Fits(directory.size(), offset, kResourceDirectorySize)) return {};
    std::size_t count =
        std::size_t{ReadWord(directory, offset + 12)} + ReadWord(directory, offset + 14);
    std::size_t first = std::size_t{offset} + kResourceDirectorySize;
    // Entries cut off by the end of the section are dropped.
    std::size_t available = (directory.size() - first) / kResourceEntrySize;
    count = std::min(count, available);
    std::vector<DirectoryEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t at = first + i * kResourceEntrySize;
        entries.push_back({ReadDword(directory, at), ReadDword(directory, at + 4)});
    }
    return entries;
}

std::optional<std::u16string> PeResourceLibrary::ReadName(DWORD offset) const {
    std::span<const std::uint8_t> directory = DirectoryBytes();
    if (!Fits(directory.size(), offset, 2)) return std::nullopt;
    std::size_t length = ReadWord(directory, offset);
    if (!Fits(directory.size(), std::size_t{offset} + 2, length * 2)) return std::nullopt;
    std::u16string name(length, u'\0');
    for (std::size_t i = 0; i < length; ++i)
        name[i] = static_cast<char16_t>(ReadWord(directory, offset + 2 + i * 2));
    return name;
}

bool PeResourceLibrary::Matches(const DirectoryEntry& entry, const ResourceId& id) const {
    bool entry_is_name = (entry.name_field & kHighBit) != 0;
    if (id.m_matches_nothing || entry_is_name == id.m_is_number) return false;
    if (id.m_is_number) return entry.name_field == id.m_number;
    std::optional<std::u16string> name = ReadName(entry.name_field & ~kHighBit);
    return name && EqualIgnoringCase(*name, id.m_name);
}

std::optional<PeResourceLibrary::DirectoryEntry> PeResourceLibrary::FindIn(
    DWORD directory_offset, const ResourceId& id) const {
    for (const DirectoryEntry& entry : ReadDirectory(directory_offset))
        if (Matches(entry, id)) return entry;
    return std::nullopt;
}

std::optional<ResourceEntry> PeResourceLibrary::ReadDataEntry(DWORD offset, WORD language) const {
    std::span<const std::uint8_t> directory = DirectoryBytes();
    if (!Fits(directory.size(), offset, kResourceDataEntrySize)) return std::nullopt;
    return ResourceEntry{ReadDword(directory, offset), ReadDword(directory, offset + 4),
                         ReadDword(directory, offset + 8), language};
}

std::optional<ResourceEntry> PeResourceLibrary::Find(const ResourceId& type,
                                                     const ResourceId& name) const {
    // Three levels, each a subdirectory of the one before: type, name,
    // language. Offsets of the wrong kind at any level mean damage.
    std::optional<DirectoryEntry> type_entry = FindIn(0, type);
    if (!type_entry || !(type_entry->offset_field & kHighBit)) return std::nullopt;
    std::optional<DirectoryEntry> name_entry = FindIn(type_entry->offset_field & ~kHighBit, name);
    if (!name_entry || !(name_entry->offset_field & kHighBit)) return std::nullopt;

    std::vector<DirectoryEntry> languages = ReadDirectory(name_entry->offset_field & ~kHighBit);
    const DirectoryEntry* chosen = nullptr;
    for (WORD preferred : {kLanguageNeutral, kLanguageEnglishUs}) {
        for (const DirectoryEntry& entry : languages)
            if (!(entry.name_field & kHighBit) && entry.name_field == preferred) {
                chosen = &entry;
                break;
            }
        if (chosen) break;
    }
    if (!chosen && !languages.empty()) chosen = &languages.front();
    if (!chosen || (chosen->offset_field & kHighBit)) return std::nullopt;
    return ReadDataEntry(chosen->offset_field,
                         static_cast<WORD>(chosen->name_field & kHighBit ? 0 : chosen->name_field));
}

std::optional<std::span<const std::uint8_t>> PeResourceLibrary::Load(
    const ResourceEntry& entry) const {
    if (entry.size == 0) return std::span<const std::uint8_t>();
    return MapRva(entry.data_rva, entry.size);
}

std::vector<ResourceId> PeResourceLibrary::IdsOf(DWORD directory_offset) const {
    std::vector<ResourceId> ids;
    for (const DirectoryEntry& entry : ReadDirectory(directory_offset)) {
        if (entry.name_field & kHighBit) {
            if (std::optional<std::u16string> name = ReadName(entry.name_field & ~kHighBit))
                ids.push_back(ResourceId::StoredName(std::move(*name)));
        } else if (entry.name_field <= 0xFFFF) {
            ids.emplace_back(static_cast<WORD>(entry.name_field));
        }
    }
    return ids;
}

std::vector<ResourceId> PeResourceLibrary::Types() const { return IdsOf(0); }

std::vector<ResourceId> PeResourceLibrary::Names(const ResourceId& type) const {
    std::optional<DirectoryEntry> type_entry = FindIn(0, type);
    if (!type_entry || !(type_entry->offset_field & kHighBit)) return {};
    return IdsOf(type_entry->offset_field & ~kHighBit);
}

}  // namespace nb
