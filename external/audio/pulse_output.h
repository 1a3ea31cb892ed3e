// A playback stream of canonical wave samples on the sound server's default
// output (PulseAudio, or PipeWire through its PulseAudio server), through
// libpulse's threaded main loop. Every call takes the main loop's lock, so
// the caller's thread and the main loop's thread never meet inside the
// library's state unguarded.
//
// The stream asks for about 100 ms of latency instead of the server's two
// seconds, so a pause or a stop is heard within a tenth of a second, and it
// tells the position the server has played, not what was written.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/automation/wintypes.h"

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace nb::external::audio {

class PulseOutput {
   public:
    // Connects to the default server and opens the stream on its default
    // sink, giving both at most timeout_ms to become ready. Nothing when the
    // server cannot be reached or the stream cannot be opened.
    static std::unique_ptr<PulseOutput> Open(DWORD timeout_ms);

    // Disconnects at once: what is still queued is not played.
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    // The stream or its connection failed (the server went away).
    bool Failed();

    // Bytes the server asks for now, whole frames.
    std::size_t WritableBytes();
    // Queues samples (whole frames) behind those written before.
    [[nodiscard]] bool Write(std::span<const std::int16_t> samples);

    // Corks or uncorks the stream: a corked stream stops where it is.
    void SetPaused(bool paused);

    // Bytes of the stream the sink has played, whole frames, never more than
    // were written. Asks the server for fresh figures each time, so the next
    // answer is at most one call old.
    std::uint64_t PlayedBytes();

    std::uint64_t WrittenBytes() const { return m_written; }

   private:
    PulseOutput() = default;
    bool Connect(DWORD timeout_ms);
    bool IsReady() const;
    static void TimingUpdated(pa_stream* stream, int success, void* self);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    std::uint64_t m_written = 0;
    std::uint64_t m_played = 0;
    bool m_timing_requested = false;  // guarded by the main loop's lock
};

}  // namespace nb::external::audio
