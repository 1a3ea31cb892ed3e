// A worker export described as data: its argument counts and kinds, the
// value checks made before the thread starts, how the worker reads its
// request from its copy of the arguments, and the job that runs on it.
//
//     constexpr WorkerExport<TranscodeRequest> kTranscode{
//         .name = u"Transcode", .min_count = 2, .max_count = 4, .kinds = kKinds,
//         .read = ReadRequest, .run = RunTranscode};
//     NB_DEFINE_WORKER_FUNCTION(Transcode, kTranscode);
#pragma once

#include <span>
#include <string_view>

#include "external/frame/export.h"
#include "external/frame/job_channel.h"
#include "external/frame/worker.h"
#include "external/frame/worker_channel.h"
#include "external/frame/worker_start.h"
#include "platform/kernel/no_throw.h"

namespace nb::external {

template <typename RequestType>
struct WorkerExport {
    using Request = RequestType;

    std::u16string_view name;  // the script name, as the export is called
    UINT min_count = 0;
    UINT max_count = 0;
    std::span<const NbArgumentKind> kinds;
    Request (*read)(const Worker& worker) = nullptr;
    // The job's outcome reaches the channel; returns the worker's exit code.
    DWORD (*run)(JobChannel& channel, const Request& request) = nullptr;
    // Checks of the arguments' values, after their count and kinds passed.
    HRESULT (*check)(const ExCall& call) = nullptr;
};

template <const auto& Definition>
DWORD WorkerExportRoutine(LPVOID parameter) {
    // An exception passing ends the worker through its destructor.
    const auto body = [parameter] {
        Worker worker(parameter, Definition.name);
        if (!worker.FindSlot()) return worker.End(NB_WORKER_EXIT_NO_SLOT);
        WorkerChannel channel(worker);
        return worker.End(Definition.run(channel, Definition.read(worker)));
    };
    return NoThrow(body, DWORD{NB_WORKER_EXIT_NORMAL});
}

template <const auto& Definition>
HRESULT StartWorkerExport(const ExCall& call) {
    if (HRESULT checked =
            call.CheckArguments(Definition.min_count, Definition.max_count, Definition.kinds);
        FAILED(checked))
        return checked;
    if constexpr (Definition.check != nullptr) {
        if (HRESULT checked = Definition.check(call); FAILED(checked)) return checked;
    }
    return StartWorker(call, &WorkerExportRoutine<Definition>);
}

}  // namespace nb::external

// Defines EX_<script_name> over a WorkerExport whose name is script_name.
#define NB_DEFINE_WORKER_FUNCTION(script_name, definition)                   \
    static_assert(definition.name == std::u16string_view(u## #script_name)); \
    NB_DEFINE_EX_FUNCTION(script_name, nb::external::StartWorkerExport<definition>)
