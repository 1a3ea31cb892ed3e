// A bridge on the headless loop with a recording page, and helpers that call
// it the way a page does: script arguments in script order, turned into
// DISPPARAMS last-first.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "shell/bridge/extension_bridge.h"
#include "shell/bridge/tests/recording_page.h"

namespace nb::bridge::testing {

// Script values owned by the test, in script order.
class ScriptValues {
   public:
    ScriptValues() = default;
    ScriptValues(const ScriptValues&) = delete;
    ScriptValues& operator=(const ScriptValues&) = delete;
    ScriptValues(ScriptValues&& other) noexcept : m_values(std::move(other.m_values)) {}
    ~ScriptValues() {
        for (VARIANT& value : m_values) VariantClear(&value);
    }

    ScriptValues&& Str(std::u16string_view text) && {
        VARIANT value{};
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return std::move(*this).Add(value);
    }
    ScriptValues&& Int(LONG number, VARTYPE type = VT_I4) && {
        VARIANT value{};
        value.vt = type;
        value.lVal = number;
        return std::move(*this).Add(value);
    }
    ScriptValues&& Bool(bool flag) && {
        VARIANT value{};
        value.vt = VT_BOOL;
        value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
        return std::move(*this).Add(value);
    }
    // A script array of the given values (NbJsArray, as pages hand over).
    ScriptValues&& Array(ScriptValues elements) && {
        VARIANT array{};
        EXPECT_EQ(NB_ARRAY_CREATE(&array), S_OK);
        for (std::size_t i = 0; i < elements.m_values.size(); ++i)
            EXPECT_EQ(NB_ARRAY_ADDELEMENT(&array, static_cast<int>(i), &elements.m_values[i]),
                      S_OK);
        return std::move(*this).Add(array);
    }
    // A value the test has made itself; the list takes it over.
    ScriptValues&& Add(VARIANT value) && {
        m_values.push_back(value);
        return std::move(*this);
    }

    std::size_t size() const { return m_values.size(); }
    // The values last-first, as DISPPARAMS carry them; valid while this lives.
    DISPPARAMS Params() {
        m_reversed.assign(m_values.rbegin(), m_values.rend());
        return {m_reversed.data(), nullptr, static_cast<UINT>(m_reversed.size()), 0};
    }

   private:
    std::vector<VARIANT> m_values;
    std::vector<VARIANT> m_reversed;  // shallow views of m_values
};

inline ScriptValues Args() { return {}; }

constexpr UINT kNoArgumentError = 0xFFFF;

// What one Execute answered, with the report's strings copied out.
struct Outcome {
    HRESULT hr = S_OK;
    Value result;
    WORD code = 0;
    std::u16string source;
    std::u16string description;
    SCODE scode = 0;
    UINT argument_error = kNoArgumentError;
};

inline Outcome Execute(ExtensionBridge& bridge, ScriptValues arguments,
                       WORD flags = DISPATCH_METHOD) {
    DISPPARAMS params = arguments.Params();
    // Stale contents show that the bridge clears the record before the call.
    EXCEPINFO exception{};
    exception.wCode = 0xBEEF;
    exception.dwHelpContext = 7;
    exception.scode = 99;
    VARIANT result;
    VariantInit(&result);
    Outcome outcome;
    outcome.hr = bridge.Execute(&params, flags, &result, &exception, &outcome.argument_error);
    outcome.result = ValueOf(result);
    VariantClear(&result);
    outcome.code = exception.wCode;
    outcome.scode = exception.scode;
    if (exception.bstrSource) outcome.source = exception.bstrSource;
    if (exception.bstrDescription) outcome.description = exception.bstrDescription;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return outcome;
}

inline HRESULT Terminate(ExtensionBridge& bridge, ScriptValues argument,
                         WORD flags = DISPATCH_METHOD) {
    DISPPARAMS params = argument.Params();
    return bridge.TerminateThread(&params, flags);
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class BridgeTest : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_TRUE(NbSetApplicationDirectory(NB_TEST_APP_DIR));
        nb::SetCurrentThreadLoop(m_loop.get());
        m_bridge = ExtensionBridge::Create({nullptr, &m_page, &m_system, nullptr});
        ASSERT_NE(m_bridge, nullptr);
    }
    void TearDown() override {
        m_bridge.reset();
        nb::SetCurrentThreadLoop(nullptr);
        NbSetApplicationDirectory(NB_TEST_APP_DIR);
    }

    // Keeps the messages flowing until done() holds or the time-out passes.
    bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 10000) {
        const DWORD start = GetTickCount();
        HANDLE never = CreateEventW(nullptr, 0, 0, nullptr);
        bool reached = done();
        while (!reached && GetTickCount() - start < timeout_ms) {
            DWORD index = 0;
            CoWaitForMultipleHandles(0, 10, 1, &never, &index);
            reached = done();
        }
        CloseHandle(never);
        return reached;
    }
    // Every worker has given back its slot and its thread has ended.
    bool WaitForWorkersToEnd(DWORD timeout_ms = 10000) {
        return PumpUntil(
            [&] {
                return m_bridge->RegisteredWorkers() == 0 && m_bridge->LiveWorkerThreads() == 0;
            },
            timeout_ms);
    }
    const WorkerSlot* SlotOf(DWORD thread_id) const {
        for (int i = 0; i < NB_WORKER_SLOTS; ++i)
            if (m_bridge->Workers()[i].thread_id == thread_id) return &m_bridge->Workers()[i];
        return nullptr;
    }
    // Starts RunExecutable(command_line, wait) with the callback name given
    // (none when empty) and answers the worker's thread id.
    DWORD StartProgram(std::u16string_view command_line, bool wait,
                       std::u16string_view callback = u"callback") {
        const auto program = [&] { return Args().Str(command_line).Bool(wait); };
        const Outcome started =
            callback.empty()
                ? Execute(*m_bridge, Args().Str(u"RunExecutable").Array(program()))
                : Execute(*m_bridge, Args().Str(u"RunExecutable").Array(program()).Str(callback));
        EXPECT_EQ(started.hr, S_OK)
            << std::string(started.description.begin(), started.description.end());
        EXPECT_EQ(started.result.type, VT_I4);
        return static_cast<DWORD>(started.result.number);
    }

    std::unique_ptr<nb::MessageLoop> m_loop = nb::CreateHeadlessLoop();
    RecordingPage m_page;
    SystemInformation m_system{};
    std::unique_ptr<ExtensionBridge> m_bridge;
};

}  // namespace nb::bridge::testing
