#include "external/audio/playback_job.h"

#include <array>
#include <deque>
#include <memory>
#include <optional>

#include "external/audio/playback_stretch.h"
#include "external/audio/pulse_output.h"
#include "external/audio/wave_file.h"
#include "external/audio/wave_samples.h"
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

    // Where in its pass the sink is playing, in milliseconds.
    LONG PositionMs() const {
        return StreamMilliseconds(m_played > m_pass_start ? m_played - m_pass_start : 0);
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

    // Gives the stream what it asks for, a buffer at a time: the stretch,
    // pass after pass while looping, so that one pass follows the other
    // without a gap; once the last pass is queued, silence, so that the
    // stream plays on until the last pass has been heard.
    DWORD Fill() {
        std::size_t wanted = m_output->WritableBytes() / sizeof(std::int16_t);
        while (wanted >= 2) {
            const std::size_t room = std::min(wanted, m_buffer.size());
            std::size_t sound = 0;  // samples of the stretch; silence may follow
            while (sound < room && !m_last_pass_queued) {
                const std::size_t got =
                    m_source->Read(std::span(m_buffer.data() + sound, room - sound), m_volume);
                sound += got;
                if (got != 0) continue;
                const std::uint64_t pass_end = m_output->WrittenBytes() + sound * 2;
                if (const DWORD next = NextPass(pass_end); next != kGoOn) return next;
            }
            std::fill(m_buffer.begin() + static_cast<long>(sound),
                      m_buffer.begin() + static_cast<long>(room), std::int16_t{0});
            if (sound != 0) m_level = BlockLevel(std::span(m_buffer.data(), sound));
            if (!m_output->Write(std::span(m_buffer.data(), room))) return kPlaybackNoDevice;
            wanted -= room;
        }
        return kGoOn;
    }

    // The pass being read is complete, ending at pass_end in the stream:
    // the next one, or none.
    DWORD NextPass(std::uint64_t pass_end) {
        m_pass_ends.push_back(pass_end);
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
        m_report.Set(kPlaybackLayout.done, PositionMs());
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
    LONG position_ms = 0;
    {
        // The stream is closed before the script hears the outcome.
        Player player(report, request);
        const DWORD opened = player.Open();
        if (!report.Prepare()) return report.End(0);
        player.AnnounceLength();
        outcome = opened == kGoOn ? player.Play() : opened;
        position_ms = player.PositionMs();
    }
    // A failure while playing tells where it came.
    if (outcome != kPlaybackEnded) report.Finish(outcome, static_cast<DWORD>(position_ms));
    return report.End(outcome);
}

}  // namespace nb::external::audio
