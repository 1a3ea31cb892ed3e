// What an upload tells its callback: nine values (status, file index, file
// count, current path, bytes sent, body size, current and average speed in
// bytes per millisecond, milliseconds since sending began), then, when the
// server's answer is asked for, three (status, response headers, text).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "external/frame/job_channel.h"

namespace nb::external::net {

enum UploadStatus : DWORD {
    kUploadOk = 0,                // internal only: nothing to report yet
    kUploadNotSized = 3202,       // a path unreadable, or a file that cannot be opened
    kUploadSizeUnknown = 3203,    // the size of a file could not be read
    kUploadNoTransfer = 3204,     // libcurl gave no handle
    kUploadNoTarget = 3205,       // the target URL no longer reads as one
    kUploadNotConfigured = 3206,  // libcurl refused a setting
    kUploadNotSent = 3207,        // the request could not be sent: no connection
    kUploadNotOpened = 3208,      // a file could not be opened while sending
    kUploadWriteFailed = 3209,    // the connection failed while the body was sent
    kUploadReadFailed = 3211,     // reading a file failed, or it ended before its size
    kUploadStopped = 3300,
    kUploadSized = 3301,
    kUploadSending = 3302,
    kUploadSent = 3303,
    kUploadAnswer = 3304,
};

class UploadReport {
   public:
    UploadReport(JobChannel& channel, DWORD interval_ms)
        : m_channel(channel), m_interval_ms(interval_ms) {}

    JobChannel& channel() { return m_channel; }

    // The nine values: every one 0, the path "N/A". False when they never
    // became ready.
    [[nodiscard]] bool Prepare();

    void SetFileCount(std::size_t count);
    void SetPath(std::u16string_view path);
    // A failure: its code, the values as they stand, and the worker waits
    // until the callback has run.
    void Fail(UploadStatus status);
    // Sizing is done: the body's size, reported without waiting.
    void Sized(std::uint64_t body_bytes);

    // Sending begins now: the clock of the speeds starts.
    void BeginSending();
    // A file begins: always reported, with the speeds when the clock moved.
    void FileStarted(std::size_t index, std::u16string_view path, std::uint64_t sent);
    // After each chunk: reported when the interval has passed.
    void ChunkSent(std::uint64_t sent);
    // The whole body went out; waited for when the answer follows.
    void BodySent(std::uint64_t sent, bool wait);
    bool IsBodyReported() const { return m_body_reported; }

    // The server's answer: three values, waited for. False when they never
    // became ready.
    [[nodiscard]] bool Answer(std::u16string_view headers, std::u16string_view text);

   private:
    void SetSpeeds(std::uint64_t sent, DWORD now);

    JobChannel& m_channel;
    const DWORD m_interval_ms;
    DWORD m_start_tick = 0;
    DWORD m_last_tick = 0;
    std::uint64_t m_last_sent = 0;
    bool m_body_reported = false;
};

}  // namespace nb::external::net
