#include "external/net/upload_report.h"

#include <algorithm>

#include "platform/kernel/kernel.h"

namespace nb::external::net {
namespace {

constexpr UINT kUploadValues = 9;
constexpr UINT kValueStatus = 1;
constexpr UINT kValueFileIndex = 2;
constexpr UINT kValueFileCount = 3;
constexpr UINT kValuePath = 4;
constexpr UINT kValueSent = 5;
constexpr UINT kValueTotal = 6;
constexpr UINT kValueSpeed = 7;
constexpr UINT kValueAverageSpeed = 8;
constexpr UINT kValueElapsed = 9;
constexpr UINT kAnswerValues = 3;
constexpr UINT kValueHeaders = 2;
constexpr UINT kValueText = 3;
constexpr std::u16string_view kNoPath = u"N/A";

// A script integer has 32 bits: past 2 GiB a count wraps as one would.
LONG ScriptInteger(std::uint64_t value) { return static_cast<LONG>(value); }

// A report in the same millisecond as the last one divides by one, not zero.
std::uint64_t PerMillisecond(std::uint64_t bytes, DWORD milliseconds) {
    return bytes / std::max<DWORD>(milliseconds, 1);
}

}  // namespace

bool UploadReport::Prepare() {
    if (!m_channel.PrepareArguments(kUploadValues)) return false;
    for (UINT position = 1; position <= kUploadValues; ++position)
        m_channel.SetInteger(position, 0);
    m_channel.SetString(kValuePath, kNoPath);
    return true;
}

void UploadReport::SetFileCount(std::size_t count) {
    m_channel.SetInteger(kValueFileCount, ScriptInteger(count));
}

void UploadReport::SetPath(std::u16string_view path) { m_channel.SetString(kValuePath, path); }

void UploadReport::Fail(UploadStatus status) {
    m_channel.SetInteger(kValueStatus, static_cast<LONG>(status));
    m_channel.WaitedCallback();
}

void UploadReport::Sized(std::uint64_t body_bytes) {
    m_channel.SetInteger(kValueStatus, kUploadSized);
    m_channel.SetInteger(kValueTotal, ScriptInteger(body_bytes));
    m_channel.PostProgress();
}

void UploadReport::BeginSending() {
    m_channel.SetInteger(kValueStatus, kUploadSending);
    m_start_tick = m_last_tick = GetTickCount();
    m_last_sent = 0;
}

void UploadReport::SetSpeeds(std::uint64_t sent, DWORD now) {
    m_channel.SetInteger(kValueElapsed, static_cast<LONG>(now - m_start_tick));
    m_channel.SetInteger(kValueSpeed,
                         ScriptInteger(PerMillisecond(sent - m_last_sent, now - m_last_tick)));
    m_channel.SetInteger(kValueAverageSpeed,
                         ScriptInteger(PerMillisecond(sent, now - m_start_tick)));
    m_last_tick = now;
    m_last_sent = sent;
}

void UploadReport::FileStarted(std::size_t index, std::u16string_view path, std::uint64_t sent) {
    m_channel.SetInteger(kValueFileIndex, ScriptInteger(index));
    SetPath(path);
    const DWORD now = GetTickCount();
    if (now != m_last_tick) SetSpeeds(sent, now);
    m_channel.SetInteger(kValueSent, ScriptInteger(sent));
    m_channel.PostProgress();
}

void UploadReport::ChunkSent(std::uint64_t sent) {
    if (!m_channel.IsProgressDue(m_interval_ms)) return;
    SetSpeeds(sent, GetTickCount());
    m_channel.SetInteger(kValueSent, ScriptInteger(sent));
    m_channel.PostProgress();
}

void UploadReport::BodySent(std::uint64_t sent, bool wait) {
    SetSpeeds(sent, GetTickCount());
    m_channel.SetInteger(kValueSent, ScriptInteger(sent));
    m_channel.SetInteger(kValueStatus, kUploadSent);
    if (wait)
        m_channel.WaitedCallback();
    else
        m_channel.PostProgress();
    m_body_reported = true;
}

bool UploadReport::Answer(std::u16string_view headers, std::u16string_view text) {
    if (!m_channel.PrepareArguments(kAnswerValues)) return false;
    m_channel.SetInteger(1, kUploadAnswer);
    m_channel.SetString(kValueHeaders, headers);
    m_channel.SetString(kValueText, text);
    m_channel.WaitedCallback();
    return true;
}

}  // namespace nb::external::net
