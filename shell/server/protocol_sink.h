// What the local application server reports to, and what it asks of, the
// browser side of one x-mrs request. The shell's browser-engine host adapts
// these to its URI scheme; tests and nbfetch record them directly.
//
// How a request runs (all calls below on one thread, the "browser thread",
// unless said otherwise):
//   CProtocolHandler handler;            // one object per request
//   handler.Start(url, sink, bind_info, 0, 0);
//       Reports progress, response headers (through the negotiator) and, for
//       files, resources and status pages, one ReportData with flags 13
//       before it returns. S_OK in every case but a missing argument
//       (E_UNEXPECTED) and a CGI redirect (INET_E_REDIRECTING, after a
//       BINDSTATUS_REDIRECTING report carrying the new URL).
//   handler.Read(buffer, size, &count);  // repeat after each ReportData
//       S_OK with count bytes; E_PENDING when a CGI page has sent nothing
//       new yet (wait for the next ReportData); S_FALSE with count 0 at the
//       end, after ReportResult(S_FALSE, 0, "") was made.
//   handler.Abort(E_ABORT, 0);           // optional: stops a CGI page and
//                                        // reports ReportResult(reason).
//   handler.Terminate(0);                // always last; after it returns no
//                                        // call reaches the sink again.
// For CGI pages ReportData is also called from the server's reader thread,
// between Start and Terminate: an adapter must hand those calls over to its
// own thread (and may call Read only there). ReportProgress, ReportResult
// and OnResponse come on the browser thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/wintypes.h"

namespace nb::server {

// Progress codes of ReportProgress.
enum BindStatus : ULONG {
    BINDSTATUS_FINDINGRESOURCE = 1,             // text: the request URL
    BINDSTATUS_CONNECTING = 2,                  // text: the library path
    BINDSTATUS_REDIRECTING = 3,                 // text: the new URL (CGI "Location:")
    BINDSTATUS_SENDINGREQUEST = 11,             // text: the resource name
    BINDSTATUS_MIMETYPEAVAILABLE = 13,          // text: the content type with charset
    BINDSTATUS_CACHEFILENAMEAVAILABLE = 14,     // text: the cache file's path
    BINDSTATUS_BEGINUPLOADDATA = 17,            // POST body from a stream
    BINDSTATUS_UPLOADINGDATA = 18,              // after each chunk of it
    BINDSTATUS_VERIFIEDMIMETYPEAVAILABLE = 22,  // text: the plain content type
};

// Flags of ReportData.
constexpr DWORD BSCF_FIRSTDATANOTIFICATION = 0x01;
constexpr DWORD BSCF_INTERMEDIATEDATANOTIFICATION = 0x02;
constexpr DWORD BSCF_LASTDATANOTIFICATION = 0x04;
constexpr DWORD BSCF_DATAFULLYAVAILABLE = 0x08;
constexpr DWORD BSCF_AVAILABLEDATASIZEUNKNOWN = 0x10;

// Bind flags the server looks at.
constexpr DWORD BINDF_NOWRITECACHE = 0x20;  // no cache file, no headers, no type reports
constexpr DWORD BINDF_NEEDFILE = 0x40;      // a cache file is required

// Answers of the response negotiator.
class HttpNegotiate {
   public:
    virtual ~HttpNegotiate() = default;
    // status: the real status (200, 404, 600, ...); headers: the header text,
    // whose status line always reads "200 OK". The result is ignored.
    virtual HRESULT OnResponse(DWORD status, std::u16string_view headers) = 0;
};

class ProtocolSink {
   public:
    virtual ~ProtocolSink() = default;
    virtual void ReportProgress(ULONG status_code, std::u16string_view text) = 0;
    // progress: bytes available so far; progress_max: the expected total (0
    // when unknown). May come from the reader thread (see above).
    virtual void ReportData(DWORD flags, ULONG progress, ULONG progress_max) = 0;
    virtual void ReportResult(HRESULT result, DWORD error, std::u16string_view text) = 0;
    // The response negotiator, or null when the browser side has none (the
    // header text is then not sent). Asked once, in Start.
    virtual HttpNegotiate* Negotiator() { return nullptr; }
};

// A request body that is read as a stream (a form post of a large file).
class PostStream {
   public:
    virtual ~PostStream() = default;
    // False when the stream has no statistics (the body is then not sent).
    virtual bool Stat(std::uint64_t* size) = 0;
    virtual bool SeekToStart() = 0;
    // Bytes read into destination, 0 at the end, -1 on failure.
    virtual long Read(void* destination, ULONG size) = 0;
};

enum class BindVerb { Get, Post };

// Where the request body is held; only memory and a stream can be sent.
enum class PostMedium { None, Memory, Stream, Other };

struct BindInfo {
    BindVerb verb = BindVerb::Get;
    PostMedium medium = PostMedium::None;
    std::string post_data;                    // PostMedium::Memory
    std::shared_ptr<PostStream> post_stream;  // PostMedium::Stream
    // The body size announced (CONTENT_LENGTH; the stream is read up to it).
    DWORD post_data_size = 0;
};

class BindInfoSource {
   public:
    virtual ~BindInfoSource() = default;
    // Fills the bind flags and the record; a failure becomes the 400 page.
    virtual HRESULT GetBindInfo(DWORD* bind_flags, BindInfo* info) = 0;
    // The declared type of the POST body. An error: the server assumes a
    // form ("application/x-www-form-urlencoded"); S_OK with nothing: the
    // request has no CONTENT_TYPE.
    virtual HRESULT GetPostDataMime(std::optional<std::u16string>* mime) = 0;
};

}  // namespace nb::server
