// The body of an upload as libcurl asks for it: sized first, then streamed
// straight from the files into libcurl's buffer, each file opened only while
// it is sent. The bytes go in chunks of 2048: after every chunk the stop is
// checked and progress reported, while the file is read as much as libcurl
// has room for at a time (a read per 2048 bytes doubles the time reading
// takes). No file is ever held in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "external/net/curl_transfer.h"
#include "external/net/upload_report.h"
#include "platform/kernel/unique_fd.h"

namespace nb::external::net {

inline constexpr std::size_t kUploadChunkBytes = 2048;

// A list element: its path, or nothing when the element is not a text.
using UploadPath = std::optional<std::u16string>;

class UploadBody {
   public:
    UploadBody(std::vector<UploadPath> paths, std::string boundary)
        : m_paths(std::move(paths)), m_boundary(std::move(boundary)) {}

    // Sizes every file: kUploadOk, or the failure, with the failing path in
    // the report.
    UploadStatus Size(UploadReport& report);
    std::uint64_t TotalBytes() const { return m_total_bytes; }
    std::size_t FileCount() const { return m_paths.size(); }
    const std::string& Boundary() const { return m_boundary; }

    // Fills buffer with the next bytes of the body: how many, 0 at its end,
    // or nothing on a failure (Failure() says which) or a stop.
    std::optional<std::size_t> Fill(char* buffer, std::size_t capacity, UploadReport& report,
                                    StopWatch& stop);

    bool Started() const { return m_started; }
    bool Finished() const { return m_phase == Phase::Done; }
    std::uint64_t SentBytes() const { return m_sent; }
    UploadStatus Failure() const { return m_failure; }

   private:
    enum class Phase { FileStart, Header, Data, PartEnd, Closing, Done };
    struct SizedFile {
        std::string path;
        std::string header;
        std::uint64_t bytes = 0;
    };

    // Each returns false on a failure or a stop.
    bool StartFile(UploadReport& report, StopWatch& stop);
    bool CopyPending(char* buffer, std::size_t capacity, std::size_t& written, Phase next);
    bool SendChunks(char* buffer, std::size_t capacity, std::size_t& written, UploadReport& report,
                    StopWatch& stop);
    bool Fail(UploadStatus status);

    std::vector<UploadPath> m_paths;
    std::string m_boundary;
    std::vector<SizedFile> m_files;
    std::uint64_t m_total_bytes = 0;

    Phase m_phase = Phase::FileStart;
    std::size_t m_file = 0;
    UniqueFd m_fd;
    std::uint64_t m_file_left = 0;
    std::string m_pending;  // header, part end or closing delimiter still to go
    std::size_t m_pending_at = 0;
    std::uint64_t m_sent = 0;
    bool m_started = false;
    UploadStatus m_failure = kUploadOk;
};

}  // namespace nb::external::net
