#include "platform/resources/pe_resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

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
// What is kept of the resource section when a file is opened: resource
// compilers and linkers put the directories, names and data entries first,
// so lookups need no further reads.
constexpr std::size_t kKeptDirectoryBytes = 64 * 1024;

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

// Reads [offset, offset + into.size()) of the file; false when it ends first.
bool ReadFullyAt(int fd, std::uint64_t offset, std::span<std::uint8_t> into) {
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t got =
            ::pread(fd, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
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

bool PeResourceLibrary::Source::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
    if (into.empty()) return offset <= size;
    if (std::optional<std::span<const std::uint8_t>> bytes = Kept(offset, into.size())) {
        std::memcpy(into.data(), bytes->data(), into.size());
        return true;
    }
    return file.IsOpen() && ReadFullyAt(file.Get(), offset, into);
}

std::optional<std::span<const std::uint8_t>> PeResourceLibrary::Source::Kept(
    std::uint64_t offset, std::size_t count) const {
    if (offset < kept_offset || !Fits(kept.size(), offset - kept_offset, count))
        return std::nullopt;
    return std::span<const std::uint8_t>(kept).subspan(offset - kept_offset, count);
}

PeResourceLibrary::PeResourceLibrary(Source source, bool is_64_bit, std::vector<Section> sections,
                                     DWORD resource_rva)
    : m_source(std::move(source)),
      m_is_64_bit(is_64_bit),
      m_sections(std::move(sections)),
      m_resource_rva(resource_rva) {
    m_directory = DirectoryExtent();
    if (!m_source.file.IsOpen()) return;
    // When this read fails, lookups read from the file instead.
    std::vector<std::uint8_t> head(std::min(m_directory.size, kKeptDirectoryBytes));
    if (ReadFullyAt(m_source.file.Get(), m_directory.offset, head)) {
        m_source.kept = std::move(head);
        m_source.kept_offset = m_directory.offset;
    }
}

PeResourceLibrary::~PeResourceLibrary() = default;

PeResourceLibrary::OpenResult PeResourceLibrary::Open(const std::string& path) {
    Source source;
    source.file = nb::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!source.file.IsOpen() || ::fstat(source.file.Get(), &status) != 0 ||
        !S_ISREG(status.st_mode) || status.st_size > kMaxFileSize)
        return {nullptr, PeOpenError::kCannotRead};
    source.size = static_cast<std::uint64_t>(status.st_size);
    return Parse(std::move(source));
}

PeResourceLibrary::OpenResult PeResourceLibrary::FromBytes(std::span<const std::uint8_t> bytes) {
    Source source;
    source.kept.assign(bytes.begin(), bytes.end());
    source.size = bytes.size();
    return Parse(std::move(source));
}

PeResourceLibrary::OpenResult PeResourceLibrary::Parse(Source source) {
    const std::size_t file_size = source.size;
    std::array<std::uint8_t, kDosLfanewOffset + 4> dos{};
    if (file_size < dos.size()) return {nullptr, PeOpenError::kNotPe};
    if (!source.ReadAt(0, dos)) return {nullptr, PeOpenError::kCannotRead};
    if (dos[0] != 'M' || dos[1] != 'Z') return {nullptr, PeOpenError::kNotPe};
    DWORD pe_offset = ReadDword(dos, kDosLfanewOffset);
    std::array<std::uint8_t, 4 + kCoffHeaderSize> pe{};
    if (!Fits(file_size, pe_offset, pe.size())) return {nullptr, PeOpenError::kNotPe};
    if (!source.ReadAt(pe_offset, pe)) return {nullptr, PeOpenError::kCannotRead};
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        return {nullptr, PeOpenError::kNotPe};

    WORD section_count = ReadWord(pe, 4 + 2);
    WORD optional_size = ReadWord(pe, 4 + 16);
    std::size_t optional = std::size_t{pe_offset} + pe.size();
    if (section_count > kMaxSections || !Fits(file_size, optional, optional_size) ||
        optional_size < 2)
        return {nullptr, PeOpenError::kMalformed};
    std::vector<std::uint8_t> header(optional_size);
    if (!source.ReadAt(optional, header)) return {nullptr, PeOpenError::kCannotRead};

    WORD magic = ReadWord(header, 0);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return {nullptr, PeOpenError::kMalformed};
    bool is_64_bit = magic == kPe32PlusMagic;
    std::size_t count_offset = is_64_bit ? kRvaCountOffset64 : kRvaCountOffset32;
    DWORD resource_rva = 0;
    DWORD resource_size = 0;
    // The directory count and the directories must lie inside the optional
    // header the COFF header announces; missing ones mean no resources.
    if (Fits(optional_size, count_offset, 4)) {
        DWORD directory_count = ReadDword(header, count_offset);
        std::size_t entry = count_offset + 4 + kResourceDirectoryIndex * kDataDirectorySize;
        if (directory_count > kResourceDirectoryIndex &&
            Fits(optional_size, entry, kDataDirectorySize)) {
            resource_rva = ReadDword(header, entry);
            resource_size = ReadDword(header, entry + 4);
        }
    }
    if (resource_size == 0) resource_rva = 0;

    std::size_t table = optional + optional_size;
    std::vector<std::uint8_t> table_bytes(std::size_t{section_count} * kSectionHeaderSize);
    if (!Fits(file_size, table, table_bytes.size())) return {nullptr, PeOpenError::kMalformed};
    if (!source.ReadAt(table, table_bytes)) return {nullptr, PeOpenError::kCannotRead};
    std::vector<Section> sections;
    sections.reserve(section_count);
    for (WORD i = 0; i < section_count; ++i) {
        std::size_t at = std::size_t{i} * kSectionHeaderSize;
        Section section{ReadDword(table_bytes, at + 12), ReadDword(table_bytes, at + 8),
                        ReadDword(table_bytes, at + 20), ReadDword(table_bytes, at + 16)};
        // Raw data past the end of the file is not there (a cut file):
        // clip it, so nothing is ever read beyond the bytes at hand.
        if (section.raw_offset >= file_size)
            section.raw_size = 0;
        else
            section.raw_size = static_cast<DWORD>(
                std::min<std::size_t>(section.raw_size, file_size - section.raw_offset));
        sections.push_back(section);
    }
    return {std::unique_ptr<PeResourceLibrary>(new PeResourceLibrary(
                std::move(source), is_64_bit, std::move(sections), resource_rva)),
            PeOpenError::kCannotRead};
}

std::optional<std::uint64_t> PeResourceLibrary::MapRva(DWORD rva, DWORD size) const {
    for (const Section& section : m_sections) {
        if (rva < section.virtual_address) continue;
        std::size_t into = rva - section.virtual_address;
        // A section spans its virtual size in memory (its raw size when
        // that is 0); only the part backed by file bytes can be handed out.
        std::size_t extent = section.virtual_size ? section.virtual_size : section.raw_size;
        if (into >= extent) continue;
        if (!Fits(std::min<std::size_t>(extent, section.raw_size), into, size)) return std::nullopt;
        return std::uint64_t{section.raw_offset} + into;
    }
    return std::nullopt;
}

PeResourceLibrary::Extent PeResourceLibrary::DirectoryExtent() const {
    if (m_resource_rva == 0) return {};
    for (const Section& section : m_sections) {
        if (m_resource_rva < section.virtual_address) continue;
        std::size_t into = m_resource_rva - section.virtual_address;
        std::size_t extent = section.virtual_size ? section.virtual_size : section.raw_size;
        if (into >= extent) continue;
        std::size_t backed = std::min<std::size_t>(extent, section.raw_size);
        if (into >= backed) return {};
        return {std::uint64_t{section.raw_offset} + into, backed - into};
    }
    return {};
}

bool PeResourceLibrary::ReadDirectoryBytes(std::size_t offset, std::span<std::uint8_t> into) const {
    return Fits(m_directory.size, offset, into.size()) &&
           m_source.ReadAt(m_directory.offset + offset, into);
}

std::vector<PeResourceLibrary::DirectoryEntry> PeResourceLibrary::ReadDirectory(
    DWORD offset) const {
    std::array<std::uint8_t, kResourceDirectorySize> header{};
    if (!ReadDirectoryBytes(offset, header)) return {};
    std::size_t count = std::size_t{ReadWord(header, 12)} + ReadWord(header, 14);
    std::size_t first = std::size_t{offset} + kResourceDirectorySize;
    // Entries cut off by the end of the section are dropped.
    std::size_t available = (m_directory.size - first) / kResourceEntrySize;
    count = std::min(count, available);
    std::vector<std::uint8_t> raw(count * kResourceEntrySize);
    if (!ReadDirectoryBytes(first, raw)) return {};
    std::vector<DirectoryEntry> entries;
    entries.reserve(count);
    for (std::size_t at = 0; at < raw.size(); at += kResourceEntrySize)
        entries.push_back({ReadDword(raw, at), ReadDword(raw, at + 4)});
    return entries;
}

std::optional<std::u16string> PeResourceLibrary::ReadName(DWORD offset) const {
    std::array<std::uint8_t, 2> length_bytes{};
    if (!ReadDirectoryBytes(offset, length_bytes)) return std::nullopt;
    std::size_t length = ReadWord(length_bytes, 0);
    std::vector<std::uint8_t> raw(length * 2);
    if (!ReadDirectoryBytes(std::size_t{offset} + 2, raw)) return std::nullopt;
    std::u16string name(length, u'\0');
    for (std::size_t i = 0; i < length; ++i) name[i] = static_cast<char16_t>(ReadWord(raw, i * 2));
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
    std::array<std::uint8_t, kResourceDataEntrySize> raw{};
    if (!ReadDirectoryBytes(offset, raw)) return std::nullopt;
    return ResourceEntry{ReadDword(raw, 0), ReadDword(raw, 4), ReadDword(raw, 8), language};
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
    std::optional<std::uint64_t> offset = MapRva(entry.data_rva, entry.size);
    if (!offset) return std::nullopt;
    if (std::optional<std::span<const std::uint8_t>> kept = m_source.Kept(*offset, entry.size))
        return kept;
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(entry.size);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (!m_source.ReadAt(*offset, bytes)) return std::nullopt;
    std::lock_guard lock(m_loaded_lock);
    m_loaded.push_back(std::move(bytes));
    return std::span<const std::uint8_t>(m_loaded.back());
}

bool PeResourceLibrary::Read(const ResourceEntry& entry, std::uint32_t from,
                             std::span<std::uint8_t> into) const {
    if (!Fits(entry.size, from, into.size())) return false;
    if (entry.size == 0) return true;
    std::optional<std::uint64_t> offset = MapRva(entry.data_rva, entry.size);
    return offset && m_source.ReadAt(*offset + from, into);
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
