// The response buffer of the local application server: one producer appends
// at its end while the browser side takes bytes from its front, and every
// byte received can be mirrored into a URL cache file.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/automation/wintypes.h"
#include "platform/kernel/unique_fd.h"

namespace nb {

class Buffer {
   public:
    // WriteFromFile reads and appends in pieces of this size.
    static constexpr std::uint32_t kFileChunkSize = 10240;

    // The capacity for a requested size: the next multiple of 65536 strictly
    // above it, or nothing when that does not fit in 32 bits.
    static constexpr std::optional<std::uint32_t> CapacityFor(std::uint64_t size) {
        std::uint64_t capacity = ((size >> 16) + 1) << 16;
        if (capacity > UINT32_MAX) return std::nullopt;
        return static_cast<std::uint32_t>(capacity);
    }

    // An empty, pending buffer with CapacityFor(initial_size) bytes of room.
    // Nothing when the storage cannot be had (after the allocation-failure box).
    [[nodiscard]] static std::optional<Buffer> Create(std::uint32_t initial_size);

    // The moved-from buffer has no storage: writes and reads on it show the
    // sanity box and store or deliver nothing. Assignment first commits the
    // cache entry of the buffer it replaces, as destruction would.
    Buffer(Buffer&& other) noexcept;
    Buffer& operator=(Buffer&& other) noexcept;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    // Commits the cache entry when a cache file is still open.
    ~Buffer();

    // Appends count bytes, compacting before growing. E_FAIL when mirroring
    // into the cache file fails (the bytes are stored all the same; the cache
    // file is dropped). E_OUTOFMEMORY when the storage cannot grow: nothing is
    // stored and the earlier contents stay intact.
    HRESULT Write(const void* bytes, std::size_t count);
    // Appends the UTF-16 code units of text, 2 bytes each, no terminator.
    HRESULT WriteString(std::u16string_view text);
    // Appends a whole file; E_FAIL when it cannot be opened or read.
    HRESULT WriteFromFile(LPCWSTR path);
    // Appends what fill puts straight into the storage: it gets room for
    // `room` bytes and answers how many it wrote there (at most room). Spares
    // producers that read from a file a copy. Results as Write.
    HRESULT WriteInPlace(std::size_t room,
                         const std::function<std::size_t(std::span<std::byte>)>& fill);

    // Takes up to size bytes from the front, the UTF-8 prefix first when it
    // applies. Nothing unread: E_PENDING while pending, else E_FAIL (count 0).
    // E_POINTER without a count, or without a destination for a size above 0.
    HRESULT Read(void* destination, std::uint32_t size, std::uint32_t* count);
    // Takes one CR LF terminated line without its CR LF and without writing a
    // terminator. A line longer than capacity gives E_OUTOFMEMORY with its
    // length and takes nothing; no CR LF among the unread bytes gives E_FAIL.
    HRESULT ReadLineA(char* destination, std::uint32_t capacity, std::uint32_t* length);
    // True when the unread bytes contain "\r\n\r\n".
    bool HasHeaderEnd() const;

    // A content type containing "UTF-8" or "utf-8" (exactly these spellings)
    // sets the prefix to the UTF-8 byte order mark. Read puts it in front of
    // the data once, unless the data already starts with it.
    void SetUtf8Prefix(std::string_view content_type);
    void SetUtf8Prefix(std::u16string_view content_type);

    // Forgets all data and counts; capacity, prefix, pending flag and cache
    // file stay.
    void Reset();
    // Moves the unread bytes to the front of the storage. The bytes left
    // count as the start of the data: the prefix may still go in front of
    // them (a CGI answer's body after its header lines were taken).
    void Compact();

    // Opens a cache file for url and writes the unread bytes into it; later
    // writes are mirrored. E_FAIL when any step fails (the URL's cache entry
    // is deleted) or a cache file is already open.
    HRESULT CreateCacheFile(LPCWSTR url, LPCWSTR extension);
    // CreateCacheFile for a buffer that holds exactly the bytes of the file
    // `source` (open, unchanged since they were read): the cache file becomes
    // a clone of it or a second link to it where the file system allows
    // (same bytes, no copy; no later write may reach it), a copy otherwise.
    HRESULT CreateCacheFileOf(LPCWSTR url, LPCWSTR extension, int source);
    // Closes the cache file and records it for a year from now (local time);
    // E_FAIL when no cache file is open or the entry cannot be recorded.
    HRESULT CommitCacheEntry();
    // Removes a cache file not yet committed; the URL's earlier entry stays.
    void DiscardCacheFile();

    // The producer clears the pending flag after its last write.
    void MarkComplete() { m_pending.store(false); }
    bool IsPending() const { return m_pending.load(); }

    std::uint32_t Total() const;
    void SetTotal(std::uint32_t total);
    std::uint32_t Expected() const;
    void SetExpected(std::uint32_t expected);
    std::uint32_t Unread() const;
    std::uint32_t Capacity() const;
    // The cache file's path; empty when none was created.
    std::u16string CacheFileName() const;

   private:
    struct TaskMemoryFree {
        void operator()(std::byte* block) const;
    };
    using Storage = std::unique_ptr<std::byte[], TaskMemoryFree>;

    Buffer(Storage storage, std::uint32_t capacity);
    void TakeOverLocked(Buffer& other);

    std::byte* ReadPosition() const { return m_storage.get() + m_consumed; }
    std::byte* WritePosition() const { return ReadPosition() + m_unread; }
    std::string_view UnreadView() const;

    HRESULT ReportMissingStorage() const;
    void CompactLocked();
    HRESULT GrowLocked(std::size_t count);
    HRESULT MirrorLocked(const std::byte* bytes, std::size_t count);
    std::uint32_t DeliverPrefixLocked(std::byte* destination, std::uint32_t takeable);
    void TakeLocked(std::byte* destination, std::uint32_t count);
    void DropCacheFileLocked();
    // Makes the cache file for url (fill writes it at the path given, or
    // answers a closed descriptor) and keeps it open for mirroring.
    HRESULT MakeCacheFile(LPCWSTR url, LPCWSTR extension,
                          const std::function<nb::UniqueFd(const std::string&)>& fill);
    HRESULT CommitLocked();

    mutable std::mutex m_lock;
    Storage m_storage;
    std::uint32_t m_consumed = 0;
    std::uint32_t m_unread = 0;
    std::uint32_t m_free = 0;
    std::uint32_t m_capacity = 0;
    // Bytes were taken since creation, Reset or Compact: the prefix no longer applies.
    bool m_taken = false;
    std::string m_prefix;
    std::uint32_t m_total = 0;
    std::uint32_t m_expected = 0;
    std::atomic<bool> m_pending{true};
    std::u16string m_cache_url;
    std::u16string m_cache_extension;
    std::u16string m_cache_file_name;
    nb::UniqueFd m_cache_file;
};

}  // namespace nb
