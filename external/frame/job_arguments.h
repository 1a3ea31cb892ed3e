// Reading a call's arguments by position, the same way before a worker starts
// (from the ExCall) and inside it (from the worker's copy). Each reader takes
// the arguments as the checks left them: present and of their kind, or
// absent, which gives the reader's default.
#pragma once

#include <concepts>
#include <optional>
#include <string>

#include "common/argument_kinds.h"
#include "external/frame/job_channel.h"
#include "platform/text/code_pages.h"

namespace nb::external {

template <typename Source>
concept ArgumentSource = requires(const Source& source, UINT index) {
    { source.ArgumentCount() } -> std::convertible_to<UINT>;
    { source.Argument(index) } -> std::same_as<const VARIANT&>;
};

template <ArgumentSource Source>
bool HasArgument(const Source& source, UINT index) {
    return source.ArgumentCount() > index;
}

// The file name at index, as the platform spells names; empty when the
// argument is null or absent, which no file is called.
template <ArgumentSource Source>
std::string PathArgument(const Source& source, UINT index) {
    if (!HasArgument(source, index)) return {};
    const LPCWSTR text = NbReadString(source.Argument(index));
    return text ? ToUtf8(text) : std::string();
}

// The text at index; empty when null or absent.
template <ArgumentSource Source>
std::u16string TextArgument(const Source& source, UINT index) {
    if (!HasArgument(source, index)) return {};
    const LPCWSTR text = NbReadString(source.Argument(index));
    return text ? std::u16string(text) : std::u16string();
}

// The integer at index. Only its low 32 bits count, so a script's -1 reads
// as 0xFFFFFFFF where the value is unsigned.
template <ArgumentSource Source>
LONG IntegerArgument(const Source& source, UINT index, LONG fallback) {
    if (!HasArgument(source, index)) return fallback;
    const std::optional<LONGLONG> value = NbReadInteger(source.Argument(index));
    return value ? static_cast<LONG>(*value) : fallback;
}

template <ArgumentSource Source>
DWORD UnsignedArgument(const Source& source, UINT index, DWORD fallback) {
    return static_cast<DWORD>(IntegerArgument(source, index, static_cast<LONG>(fallback)));
}

template <ArgumentSource Source>
bool BooleanArgument(const Source& source, UINT index, bool fallback) {
    return HasArgument(source, index) ? NbReadBoolean(source.Argument(index)) : fallback;
}

// The report interval at index, 200 ms when not given, never below 100.
template <ArgumentSource Source>
DWORD IntervalArgument(const Source& source, UINT index) {
    constexpr DWORD kDefaultIntervalMs = 200;
    return ProgressInterval(UnsignedArgument(source, index, kDefaultIntervalMs));
}

}  // namespace nb::external
