// EX_StopWaveFile(id), EX_PauseWaveFile(id), EX_ResumeWaveFile(id) and
// EX_SetWaveFileVolume(id, volume): the commands that steer a playback
// worker. They only write the command target and word and set the command
// event; a call that doesn't match (a thread id of 0, a count other than
// theirs, an argument that is not a 4-byte integer) does nothing, and none
// ever fails.
#include <optional>

#include "common/worker_protocol.h"
#include "external/frame/export.h"
#include "external/frame/worker_table.h"

namespace nb::external::audio {
namespace {

constexpr DWORD kFullVolume = 100;

// The thread id and the optional value the call carries, when it matches.
struct ControlArguments {
    DWORD thread_id = 0;
    DWORD value = 0;
};

std::optional<ControlArguments> ReadControl(const ExCall& call, UINT count) {
    if (call.ArgumentCount() != count) return std::nullopt;
    for (UINT i = 0; i < count; ++i)
        if (call.Argument(i).vt != VT_I4) return std::nullopt;
    const auto thread_id = static_cast<DWORD>(call.Argument(0).lVal);
    if (thread_id == 0) return std::nullopt;
    return ControlArguments{thread_id, count > 1 ? static_cast<DWORD>(call.Argument(1).lVal) : 0};
}

HRESULT Command(const ExCall& call, DWORD thread_id, DWORD word) {
    const CallFrame& frame = call.frame();
    if (!frame.command_target || !frame.command_word || !frame.command_event) return S_OK;
    StoreSharedWord(*frame.command_target, thread_id);
    StoreSharedWord(*frame.command_word, word);
    SetEvent(frame.command_event);
    return S_OK;
}

HRESULT SimpleControl(const ExCall& call, DWORD word) {
    const std::optional<ControlArguments> control = ReadControl(call, 1);
    return control ? Command(call, control->thread_id, word) : S_OK;
}

HRESULT StopWaveFile(const ExCall& call) { return SimpleControl(call, NB_COMMAND_STOP_PLAYBACK); }
HRESULT PauseWaveFile(const ExCall& call) { return SimpleControl(call, NB_COMMAND_PAUSE_PLAYBACK); }
HRESULT ResumeWaveFile(const ExCall& call) {
    return SimpleControl(call, NB_COMMAND_RESUME_PLAYBACK);
}

// Volumes 0 to 100; any other (taken unsigned) is 100.
HRESULT SetWaveFileVolume(const ExCall& call) {
    const std::optional<ControlArguments> control = ReadControl(call, 2);
    if (!control) return S_OK;
    const DWORD volume = control->value <= kFullVolume ? control->value : kFullVolume;
    return Command(call, control->thread_id, NB_COMMAND_VOLUME_FIRST + volume);
}

}  // namespace
}  // namespace nb::external::audio

NB_DEFINE_EX_FUNCTION(StopWaveFile, nb::external::audio::StopWaveFile);
NB_DEFINE_EX_FUNCTION(PauseWaveFile, nb::external::audio::PauseWaveFile);
NB_DEFINE_EX_FUNCTION(ResumeWaveFile, nb::external::audio::ResumeWaveFile);
NB_DEFINE_EX_FUNCTION(SetWaveFileVolume, nb::external::audio::SetWaveFileVolume);
