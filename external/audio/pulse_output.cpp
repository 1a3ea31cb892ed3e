#include "external/audio/pulse_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

#include "external/audio/wave_file.h"
#include "external/frame/pumping_wait.h"
#include "platform/kernel/kernel.h"

namespace nb::external::audio {
namespace {

constexpr pa_sample_spec kSampleSpec{PA_SAMPLE_S16LE, kWaveRateHz, kWaveChannels};
// The server's default buffer holds about two seconds: a pause or a stop
// would be heard that late.
constexpr pa_usec_t kTargetLatencyUs = 100 * PA_USEC_PER_MSEC;
// The server asks for more in portions of a quarter of that, not of its
// smaller default, so the stream is refilled about once a round of the
// player.
constexpr pa_usec_t kRequestUs = 25 * PA_USEC_PER_MSEC;
constexpr DWORD kStatePollMs = 5;
constexpr std::size_t kFrameMask = ~std::size_t{kWaveBytesPerFrame - 1};

class LoopLock {
   public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop) {
        pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

   private:
    pa_threaded_mainloop* m_loop;
};

void Finish(pa_operation* operation) {
    if (operation) pa_operation_unref(operation);
}

}  // namespace

std::unique_ptr<PulseOutput> PulseOutput::Open(DWORD timeout_ms) {
    std::unique_ptr<PulseOutput> output(new PulseOutput);
    if (!output->Connect(timeout_ms)) return nullptr;
    return output;
}

bool PulseOutput::Connect(DWORD timeout_ms) {
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop) return false;
    {
        LoopLock lock(m_loop);
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "NbExternal");
        if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
            return false;
    }
    if (pa_threaded_mainloop_start(m_loop) < 0) return false;
    // Polled rather than waited on the loop's signal: a server that accepts
    // the connection and then says nothing must not hold the worker forever.
    const DWORD start = GetTickCount();
    PumpingWait pause;
    for (;;) {
        {
            LoopLock lock(m_loop);
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (!PA_CONTEXT_IS_GOOD(state)) return false;
            if (state == PA_CONTEXT_READY && !m_stream) {
                m_stream = pa_stream_new(m_context, "PlayWaveFile", &kSampleSpec, nullptr);
                pa_buffer_attr buffer{};
                buffer.maxlength = static_cast<std::uint32_t>(-1);
                buffer.tlength =
                    static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &kSampleSpec));
                buffer.prebuf = static_cast<std::uint32_t>(-1);
                buffer.minreq =
                    static_cast<std::uint32_t>(pa_usec_to_bytes(kRequestUs, &kSampleSpec));
                buffer.fragsize = static_cast<std::uint32_t>(-1);
                const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY |
                                                                  PA_STREAM_AUTO_TIMING_UPDATE);
                if (!m_stream || pa_stream_connect_playback(m_stream, nullptr, &buffer, flags,
                                                            nullptr, nullptr) < 0)
                    return false;
            }
            if (m_stream) {
                const pa_stream_state_t stream_state = pa_stream_get_state(m_stream);
                if (stream_state == PA_STREAM_READY) return true;
                if (!PA_STREAM_IS_GOOD(stream_state)) return false;
            }
        }
        if (GetTickCount() - start >= timeout_ms) return false;
        pause.Wait(kStatePollMs);
    }
}

PulseOutput::~PulseOutput() {
    if (!m_loop) return;
    {
        LoopLock lock(m_loop);
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        if (m_context) {
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
        }
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

bool PulseOutput::IsReady() const {
    return pa_context_get_state(m_context) == PA_CONTEXT_READY &&
           pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

bool PulseOutput::Failed() {
    LoopLock lock(m_loop);
    return !IsReady();
}

std::size_t PulseOutput::WritableBytes() {
    LoopLock lock(m_loop);
    if (!IsReady()) return 0;
    const std::size_t writable = pa_stream_writable_size(m_stream);
    return writable == static_cast<std::size_t>(-1) ? 0 : writable & kFrameMask;
}

bool PulseOutput::Write(std::span<const std::int16_t> samples) {
    LoopLock lock(m_loop);
    if (!IsReady() || pa_stream_write(m_stream, samples.data(), samples.size_bytes(), nullptr, 0,
                                      PA_SEEK_RELATIVE) < 0)
        return false;
    m_written += samples.size_bytes();
    return true;
}

void PulseOutput::SetPaused(bool paused) {
    LoopLock lock(m_loop);
    if (IsReady()) Finish(pa_stream_cork(m_stream, paused ? 1 : 0, nullptr, nullptr));
}

void PulseOutput::TimingUpdated(pa_stream*, int, void* self) {
    static_cast<PulseOutput*>(self)->m_timing_requested = false;
}

std::uint64_t PulseOutput::PlayedBytes() {
    LoopLock lock(m_loop);
    if (!IsReady()) return m_played;
    // Without interpolation: the figure is the server's read position less
    // what the sink still holds, so it never runs ahead while a sink that
    // was idle takes its time to start.
    if (!m_timing_requested) {
        pa_operation* update = pa_stream_update_timing_info(m_stream, &TimingUpdated, this);
        m_timing_requested = update != nullptr;
        Finish(update);
    }
    pa_usec_t played_us = 0;
    if (pa_stream_get_time(m_stream, &played_us) == 0) {
        const std::uint64_t played = pa_usec_to_bytes(played_us, &kSampleSpec);
        m_played = std::max(m_played, std::min<std::uint64_t>(played, m_written));
    }
    return m_played;
}

}  // namespace nb::external::audio
