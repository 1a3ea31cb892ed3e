// Reading an audio worker's copy of its call's arguments.
#pragma once

#include <optional>
#include <string>

#include "common/argument_kinds.h"
#include "external/audio/job_channel.h"
#include "external/frame/worker.h"
#include "platform/text/code_pages.h"

namespace nb::external::audio {

// The file name at index, as the platform spells names; empty when the
// argument is null, which no file is called.
inline std::string PathArgument(const Worker& worker, UINT index) {
    const LPCWSTR text = NbReadString(worker.Argument(index));
    return text ? ToUtf8(text) : std::string();
}

// The report interval at index (only its low 32 bits count), 200 ms when
// not given.
inline DWORD IntervalArgument(const Worker& worker, UINT index) {
    constexpr DWORD kDefaultIntervalMs = 200;
    if (worker.ArgumentCount() <= index) return kDefaultIntervalMs;
    const std::optional<LONGLONG> value = NbReadInteger(worker.Argument(index));
    return ProgressInterval(value ? static_cast<DWORD>(*value) : kDefaultIntervalMs);
}

}  // namespace nb::external::audio
