// EX_MakeMP3(input, output, bitRate, [interval]): encodes a canonical wave
// file into an MP3 file on a worker thread, through internals/lame_enc.so.
#include <dlfcn.h>

#include <optional>

#include "common/error_report.h"
#include "external/audio/make_mp3_job.h"
#include "external/audio/worker_arguments.h"
#include "external/audio/worker_channel.h"
#include "external/frame/export.h"
#include "external/frame/worker.h"
#include "external/frame/worker_start.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::String, NbArgumentKind::String,
                                     NbArgumentKind::Integer, NbArgumentKind::Integer};
constexpr UINT kBitRateIndex = 2;
constexpr LPCWSTR kMessageBitRate =
    u"Catastrophic: Bitrate must be set to 32, 64, 96, 128, 192 or 256 (kbps)";

// Only the low 32 bits of an integer argument count.
LONG BitRateArgument(const VARIANT& value) {
    return static_cast<LONG>(NbReadInteger(value).value_or(0));
}

// The encoder library sits beside this module, in the internals folder.
std::string EncoderLibraryPath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void*>(&EncoderLibraryPath), &info) || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    path.erase(slash == std::string::npos ? 0 : slash + 1);
    return path + "lame_enc.so";
}

audio::MakeMp3Request ReadRequest(const Worker& worker) {
    audio::MakeMp3Request request;
    request.library_path = EncoderLibraryPath();
    request.input_path = audio::PathArgument(worker, 0);
    request.output_path = audio::PathArgument(worker, 1);
    request.bit_rate_kbps = static_cast<DWORD>(BitRateArgument(worker.Argument(kBitRateIndex)));
    request.interval_ms = audio::IntervalArgument(worker, 3);
    return request;
}

DWORD MakeMp3Thread(LPVOID parameter) {
    return RunWorkerGuarded([parameter] {
        Worker worker(parameter, u"MakeMP3");
        if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
        audio::WorkerChannel channel(worker);
        return worker.End(audio::RunMakeMp3(channel, ReadRequest(worker)));
    });
}

HRESULT MakeMp3(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(3, 4, kKinds); FAILED(checked)) return checked;
    if (!audio::VbrMinimumKbps(BitRateArgument(call.Argument(kBitRateIndex))))
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, kMessageBitRate);
    return StartWorker(call, &MakeMp3Thread);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(MakeMP3, nb::external::MakeMp3);
