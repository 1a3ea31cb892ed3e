#include "external/audio/playback_job.h"

#include <array>
#include <deque>
#include <memory>
#include <optional>

#include "external/audio/playback_stretch.h"
#include "external/audio/pulse_output.h"
#include "external/audio/wave_file.h"
#include "external/frame/pumping_wait.h"

namespace nb::external::audio {
namespace {

constexpr DWORD kGoOn = 0;  // nothing to report yet
// Between two rounds of commands, buffers and positions: a command is seen
// well within the stream's tenth of a second, and the thread wakes seldom
// enough to stay far below one per cent of a core.
constexpr DWORD kRoundMs = 25;
constexpr DWORD kFullVolume = 100;

// Bytes of the stream to milliseconds, truncated: bytes / 176.4.
LONG StreamMilliseconds(std::uint64_t bytes) { return static_cast<LONG>(bytes * 10 / 1764); }

class Player {
   public:
    Player(JobReport& report, const PlaybackRequest& request)
        : m_report(report), m_request(request) {}

    // Opens the file and the stream: kGoOn, or the failure to report. Made
    // before the callback values are asked for, while the shell still holds
    // the call, so the connection to the server costs no time of its own.
    DWORD Open() {
        Expected<StretchReader, DWORD> source = StretchReader::Open(m_request, m_report.channel());
        if (!source) return source.error();
        m_source.emplace(std::move(*source));
        m_volume = m_source->plan().shape.volume_percent;
        m_output = PulseOutput::Open(kPlaybackOpenTimeoutMs);
        if (!m_output) return kPlaybackNoDevice;
        return m_source->Rewind() ? kGoOn : kPlaybackSeekFailed;
    }

    // The length, once the callback values are there; known once the file
    // was read, also when the stream then failed.
    void AnnounceLength() {
        if (m_source) m_report.Set(kPlaybackLayout.total, static_cast<LONG>(m_source->LengthMs()));
    }

    // kPlaybackEnded to end with the status call; any other code is a
    // failure the final callback carries.
    DWORD Play() {
        m_report.Set(kPlaybackLayout.status, kPlaybackPlaying);
        PumpingWait pause;
        for (;;) {
            if (std::optional<DWORD> ended = ApplyCommand()) return *ended;
            if (m_output->Failed()) return kPlaybackNoDevice;
            if (!m_paused) {
                if (const DWORD filled = Fill(); filled != kGoOn) return filled;
            }
            if (PassesPlayed()) return kPlaybackEnded;
            ReportPosition();
            pause.Wait(kRoundMs);
        }
    }

   private:
    // The command in force, applied again on every round until the shell
    // clears it; the end of playback when it is a stop.
    std::optional<DWORD> ApplyCommand() {
        const WorkerCommand command = m_report.channel().Command();
        switch (command.kind) {
            case WorkerCommandKind::Stop:
            case WorkerCommandKind::StopPlayback:
                return kPlaybackEnded;
            case WorkerCommandKind::PausePlayback:
                SetPaused(true);
                break;
            case WorkerCommandKind::ResumePlayback:
                SetPaused(false);
                break;
            case WorkerCommandKind::SetVolume:
                m_volume = command.volume_percent;
                break;
            case WorkerCommandKind::None:
                break;
        }
        return std::nullopt;
    }

    void SetPaused(bool paused) {
        if (paused == m_paused) return;
        m_paused = paused;
        m_output->SetPaused(paused);
        m_report.Set(kPlaybackLayout.status, paused ? kPlaybackPaused : kPlaybackPlaying);
    }

    // Gives the stream what it asks for: the stretch, pass after pass while
    // looping, so that one pass follows the other without a gap; once the
    // last pass is queued, silence, so that the stream keeps playing until
    // the last pass has been heard.
    DWORD Fill() {
        std::size_t writable = m_output->WritableBytes();
        while (writable >= kWaveBytesPerFrame) {
            const std::size_t room = std::min(writable / sizeof(std::int16_t), m_buffer.size());
            const std::span<std::int16_t> buffer(m_buffer.data(), room);
            std::size_t got = 0;
            if (m_last_pass_queued) {
                std::fill(buffer.begin(), buffer.end(), std::int16_t{0});
                got = room;
            } else {
                got = m_source->Read(buffer, m_volume);
                if (got == 0) {
                    if (const DWORD next = NextPass(); next != kGoOn) return next;
                    continue;
                }
                m_level = m_source->level();
            }
            if (!m_output->Write(buffer.first(got))) return kPlaybackNoDevice;
            writable -= got * sizeof(std::int16_t);
        }
        return kGoOn;
    }

    // The pass being read is complete: the next one, or none.
    DWORD NextPass() {
        m_pass_ends.push_back(m_output->WrittenBytes());
        // A pass that found no sound (the file ends before the stretch
        // starts) would repeat forever without playing anything.
        if (!m_request.loop || m_source->PassSamples() == 0) {
            m_last_pass_queued = true;
            return kGoOn;
        }
        return m_source->Rewind() ? kGoOn : kPlaybackSeekFailed;
    }

    // Moves on past every pass the sink has played; true once the last one
    // has been played.
    bool PassesPlayed() {
        m_played = m_output->PlayedBytes();
        while (!m_pass_ends.empty() && m_played >= m_pass_ends.front()) {
            m_pass_start = m_pass_ends.front();
            m_pass_ends.pop_front();
            if (m_pass_ends.empty() && m_last_pass_queued) return true;
        }
        return false;
    }

    void ReportPosition() {
        JobChannel& channel = m_report.channel();
        if (!channel.IsProgressDue(m_request.interval_ms)) return;
        const std::uint64_t in_pass = m_played > m_pass_start ? m_played - m_pass_start : 0;
        m_report.Set(kPlaybackLayout.done, StreamMilliseconds(in_pass));
        m_report.Set(kPlaybackLevelPosition, static_cast<LONG>(m_level));
        channel.PostProgress();
    }

    JobReport& m_report;
    const PlaybackRequest& m_request;
    std::optional<StretchReader> m_source;
    std::unique_ptr<PulseOutput> m_output;
    DWORD m_volume = kFullVolume;
    bool m_paused = false;
    DWORD m_level = 0;
    // Where in the stream each pass queued and not yet played ends.
    std::deque<std::uint64_t> m_pass_ends;
    bool m_last_pass_queued = false;
    std::uint64_t m_pass_start = 0;  // where the pass being played began
    std::uint64_t m_played = 0;
    std::array<std::int16_t, kPlaybackBufferSamples> m_buffer{};
};

}  // namespace

DWORD RunPlayback(JobChannel& channel, const PlaybackRequest& request) {
    JobReport report(channel, kPlaybackLayout, request.interval_ms);
    DWORD outcome = kPlaybackEnded;
    {
        // The stream is closed before the script hears the outcome.
        Player player(report, request);
        const DWORD opened = player.Open();
        if (!report.Prepare()) return report.End(0);
        player.AnnounceLength();
        outcome = opened == kGoOn ? player.Play() : opened;
    }
    if (outcome != kPlaybackEnded) report.Finish(outcome, 0);
    return report.End(outcome);
}

}  // namespace nb::external::audio
