// A PulseAudio of the test's own, and a recording of what its null sink
// plays: the player's tests hear exactly what reached the sink, and when.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "external/frame/tests/test_environment.h"

namespace nb::external::audio::testing {

using Clock = std::chrono::steady_clock;

// pulseaudio in a folder of its own (runtime, home and socket), no
// autospawn, never exiting while idle, with a null sink "nbtest" as its
// default sink or with no sink at all; stopped when the object goes. While
// it lives PULSE_SERVER points this process at it.
//
// With a sink, a silent stream of 10 ms latency (pacat from /dev/zero) keeps
// the null sink rendering in short blocks, as a sound card plays in real
// time: left idle, a null sink renders two seconds ahead at a time, and
// whatever starts then waits for that. Silence added to a sound changes none
// of its samples. The sink never rewinds: a rewind renders again what the
// monitor has already delivered, and the recording would lose the new part.
class PrivatePulseServer {
   public:
    enum class Sinks { NullSink, None };
    explicit PrivatePulseServer(Sinks sinks = Sinks::NullSink);
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    bool ready() const { return m_ready; }
    const std::string& address() const { return m_address; }

    // Ends the server as a crash would for its clients; PULSE_SERVER stays.
    void StopDaemon();

   private:
    nb::external::testing::TemporaryFolder m_folder;
    std::string m_address;
    pid_t m_daemon = -1;
    pid_t m_keeper = -1;
    bool m_ready = false;
    std::optional<nb::external::testing::ScopedVariable> m_server_variable;
};

// Records the null sink's monitor in fragments of 10 ms, noting when each
// arrived. The recording runs in parec, a process of its own: two libpulse
// clients in one process share the library's lock-free free lists, which
// ThreadSanitizer cannot see through. ready() once sound (or the silence of
// the sink) flows.
class MonitorRecorder {
   public:
    struct Fragment {
        Clock::time_point arrived;
        std::size_t end;  // samples recorded up to and with this fragment
    };

    MonitorRecorder();
    ~MonitorRecorder() { Stop(); }
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool ready() const { return m_ready; }
    void Stop();

    std::vector<std::int16_t> Samples() const;
    std::vector<Fragment> Fragments() const;
    // Samples holding sound (frames other than silence) recorded so far.
    std::size_t SoundingSamples() const;

   private:
    void Record(int pipe_end);

    mutable std::mutex m_mutex;
    std::vector<std::int16_t> m_samples;
    std::vector<Fragment> m_fragments;
    std::size_t m_sounding = 0;
    pid_t m_recorder = -1;
    bool m_ready = false;
    std::thread m_thread;
};

// The frames of a recording that are not silence, in their order: what was
// played, without the gaps before, after and between.
std::vector<std::int16_t> SoundingFrames(const std::vector<std::int16_t>& samples);

}  // namespace nb::external::audio::testing
