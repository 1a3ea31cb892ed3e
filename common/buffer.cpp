#include "common/buffer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/task_memory.h"
#include "platform/kernel/fd_io.h"
#include "platform/text/code_pages.h"
#include "platform/ui/message_box.h"

namespace nb {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kLineEnd = "\r\n";

bool NamesUtf8(std::string_view content_type) {
    return content_type.find("UTF-8") != std::string_view::npos ||
           content_type.find("utf-8") != std::string_view::npos;
}

bool NamesUtf8(std::u16string_view content_type) {
    return content_type.find(u"UTF-8") != std::u16string_view::npos ||
           content_type.find(u"utf-8") != std::u16string_view::npos;
}

}  // namespace

void Buffer::TaskMemoryFree::operator()(std::byte* block) const { CoTaskMemFree(block); }

std::optional<Buffer> Buffer::Create(std::uint32_t initial_size) {
    std::optional<std::uint32_t> capacity = CapacityFor(initial_size);
    if (!capacity) {
        NbShowTaskMemoryFailure(u"Failed to CoTaskMemAlloc()", u"NB_MEM_OLEALLOC");
        return std::nullopt;
    }
    std::byte* block = nullptr;
    if (!NB_MEM_OLEALLOC(block, std::size_t{*capacity} + 1)) return std::nullopt;
    return Buffer(Storage(block), *capacity);
}

Buffer::Buffer(Storage storage, std::uint32_t capacity)
    : m_storage(std::move(storage)), m_free(capacity), m_capacity(capacity) {}

Buffer::Buffer(Buffer&& other) noexcept {
    std::lock_guard lock(other.m_lock);
    TakeOverLocked(other);
}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
    if (this == &other) return *this;
    std::scoped_lock lock(m_lock, other.m_lock);
    if (m_cache_file.IsOpen()) CommitLocked();
    TakeOverLocked(other);
    return *this;
}

void Buffer::TakeOverLocked(Buffer& other) {
    m_storage = std::move(other.m_storage);
    m_consumed = std::exchange(other.m_consumed, 0);
    m_unread = std::exchange(other.m_unread, 0);
    m_free = std::exchange(other.m_free, 0);
    m_capacity = std::exchange(other.m_capacity, 0);
    m_taken = std::exchange(other.m_taken, false);
    m_prefix = std::exchange(other.m_prefix, {});
    m_total = std::exchange(other.m_total, 0);
    m_expected = std::exchange(other.m_expected, 0);
    m_pending.store(other.m_pending.load());
    m_cache_url = std::exchange(other.m_cache_url, {});
    m_cache_extension = std::exchange(other.m_cache_extension, {});
    m_cache_file_name = std::exchange(other.m_cache_file_name, {});
    m_cache_file = std::move(other.m_cache_file);
}

Buffer::~Buffer() {
    std::lock_guard lock(m_lock);
    if (m_cache_file.IsOpen()) CommitLocked();
}

HRESULT Buffer::ReportMissingStorage() const {
    MessageBoxW(nullptr, u"Sanity check failed!\n\nBuffer is not allocated!",
                u"BUFFER_SANITY_CHECK", MB_OK);
    return S_OK;
}

std::string_view Buffer::UnreadView() const {
    return {reinterpret_cast<const char*>(ReadPosition()), m_unread};
}

HRESULT Buffer::Write(const void* bytes, std::size_t count) {
    std::lock_guard lock(m_lock);
    if (!m_storage) return ReportMissingStorage();
    if (count == 0) return S_OK;
    if (!bytes) return E_POINTER;
    if (m_free < count) CompactLocked();
    if (m_free < count) {
        HRESULT grown = GrowLocked(count);
        if (FAILED(grown)) return grown;
    }
    std::memcpy(WritePosition(), bytes, count);
    auto stored = static_cast<std::uint32_t>(count);
    m_unread += stored;
    m_total += stored;
    m_free -= stored;
    return MirrorLocked(static_cast<const std::byte*>(bytes), count);
}

HRESULT Buffer::WriteString(std::u16string_view text) {
    return Write(text.data(), text.size() * sizeof(char16_t));
}

HRESULT Buffer::WriteFromFile(LPCWSTR path) {
    {
        std::lock_guard lock(m_lock);
        if (!m_storage) return ReportMissingStorage();
    }
    if (!path) return E_FAIL;
    nb::UniqueFd file(::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsOpen()) return E_FAIL;
    std::byte chunk[kFileChunkSize];
    for (;;) {
        ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return E_FAIL;
        if (got == 0) return S_OK;
        HRESULT written = Write(chunk, static_cast<std::size_t>(got));
        if (FAILED(written)) return written;
    }
}

HRESULT Buffer::WriteInPlace(std::size_t room,
                             const std::function<std::size_t(std::span<std::byte>)>& fill) {
    std::lock_guard lock(m_lock);
    if (!m_storage) return ReportMissingStorage();
    if (room == 0) return S_OK;
    if (m_free < room) CompactLocked();
    if (m_free < room) {
        HRESULT grown = GrowLocked(room);
        if (FAILED(grown)) return grown;
    }
    std::byte* start = WritePosition();
    std::size_t count = std::min(room, fill(std::span<std::byte>(start, room)));
    auto stored = static_cast<std::uint32_t>(count);
    m_unread += stored;
    m_total += stored;
    m_free -= stored;
    return MirrorLocked(start, count);
}

void Buffer::CompactLocked() {
    if (m_consumed == 0) return;
    std::memmove(m_storage.get(), ReadPosition(), m_unread);
    m_consumed = 0;
    m_free = m_capacity - m_unread;
}

// Runs after CompactLocked, so the unread bytes start the storage.
HRESULT Buffer::GrowLocked(std::size_t count) {
    std::optional<std::uint32_t> capacity =
        CapacityFor(static_cast<std::uint64_t>(count) + m_unread);
    if (!capacity) {
        NbShowTaskMemoryFailure(u"Failed to CoTaskMemRealloc()", u"NB_MEM_OLEREALLOC");
        return E_OUTOFMEMORY;
    }
    // On failure the block stays as it was, so the buffer keeps its contents.
    std::byte* block = m_storage.get();
    if (!NB_MEM_OLEREALLOC(block, std::size_t{*capacity} + 1)) return E_OUTOFMEMORY;
    (void)m_storage.release();
    m_storage.reset(block);
    m_capacity = *capacity;
    m_free = m_capacity - m_unread;
    return S_OK;
}

HRESULT Buffer::MirrorLocked(const std::byte* bytes, std::size_t count) {
    if (!m_cache_file.IsOpen()) return S_OK;
    if (nb::WriteFully(m_cache_file.Get(), bytes, count)) return S_OK;
    DropCacheFileLocked();
    return E_FAIL;
}

HRESULT Buffer::Read(void* destination, std::uint32_t size, std::uint32_t* count) {
    if (!count) return E_POINTER;
    *count = 0;
    std::lock_guard lock(m_lock);
    if (!m_storage) return ReportMissingStorage();
    if (size > 0 && !destination) return E_POINTER;
    if (m_unread == 0) return IsPending() ? E_PENDING : E_FAIL;
    auto* out = static_cast<std::byte*>(destination);
    std::uint32_t prefix_length = DeliverPrefixLocked(out, std::min(size, m_unread));
    std::uint32_t taken = std::min(size - prefix_length, m_unread);
    TakeLocked(out + prefix_length, taken);
    *count = prefix_length + taken;
    return S_OK;
}

// The prefix is considered once, before any byte is taken, and only when a
// read can take at least as many bytes as it has (so a mark already present
// can be recognised). Its length comes off the room left for the data.
std::uint32_t Buffer::DeliverPrefixLocked(std::byte* destination, std::uint32_t takeable) {
    if (m_prefix.empty() || m_taken || takeable < m_prefix.size()) return 0;
    std::string prefix = std::exchange(m_prefix, {});
    if (UnreadView().starts_with(prefix)) return 0;
    std::memcpy(destination, prefix.data(), prefix.size());
    return static_cast<std::uint32_t>(prefix.size());
}

void Buffer::TakeLocked(std::byte* destination, std::uint32_t count) {
    if (count == 0) return;
    if (destination) std::memcpy(destination, ReadPosition(), count);
    m_unread -= count;
    m_consumed += count;
    m_taken = true;
}

HRESULT Buffer::ReadLineA(char* destination, std::uint32_t capacity, std::uint32_t* length) {
    if (!length) return E_POINTER;
    *length = 0;
    std::lock_guard lock(m_lock);
    if (!m_storage) return ReportMissingStorage();
    if (capacity > 0 && !destination) return E_POINTER;
    if (m_unread == 0) return IsPending() ? E_PENDING : E_FAIL;
    std::size_t line_end = UnreadView().find(kLineEnd);
    if (line_end == std::string_view::npos) return E_FAIL;
    auto line_length = static_cast<std::uint32_t>(line_end);
    *length = line_length;
    if (line_length > capacity) return E_OUTOFMEMORY;
    TakeLocked(reinterpret_cast<std::byte*>(destination), line_length);
    TakeLocked(nullptr, static_cast<std::uint32_t>(kLineEnd.size()));
    return S_OK;
}

bool Buffer::HasHeaderEnd() const {
    std::lock_guard lock(m_lock);
    return UnreadView().find(kHeaderEnd) != std::string_view::npos;
}

void Buffer::SetUtf8Prefix(std::string_view content_type) {
    if (!NamesUtf8(content_type)) return;
    std::lock_guard lock(m_lock);
    m_prefix = kUtf8ByteOrderMark;
}

void Buffer::SetUtf8Prefix(std::u16string_view content_type) {
    if (!NamesUtf8(content_type)) return;
    std::lock_guard lock(m_lock);
    m_prefix = kUtf8ByteOrderMark;
}

void Buffer::Reset() {
    std::lock_guard lock(m_lock);
    m_consumed = 0;
    m_unread = 0;
    m_total = 0;
    m_expected = 0;
    m_free = m_capacity;
    m_taken = false;
}

void Buffer::Compact() {
    std::lock_guard lock(m_lock);
    if (m_storage) CompactLocked();
    m_taken = false;
}

std::uint32_t Buffer::Total() const {
    std::lock_guard lock(m_lock);
    return m_total;
}

void Buffer::SetTotal(std::uint32_t total) {
    std::lock_guard lock(m_lock);
    m_total = total;
}

std::uint32_t Buffer::Expected() const {
    std::lock_guard lock(m_lock);
    return m_expected;
}

void Buffer::SetExpected(std::uint32_t expected) {
    std::lock_guard lock(m_lock);
    m_expected = expected;
}

std::uint32_t Buffer::Unread() const {
    std::lock_guard lock(m_lock);
    return m_unread;
}

std::uint32_t Buffer::Capacity() const {
    std::lock_guard lock(m_lock);
    return m_capacity;
}

std::u16string Buffer::CacheFileName() const {
    std::lock_guard lock(m_lock);
    return m_cache_file_name;
}

}  // namespace nb
