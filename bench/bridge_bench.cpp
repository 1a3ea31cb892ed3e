// Extension bridge: what Execute adds to a call of the extension library,
// each figure beside a reference measured in the same run.
//   - one synchronous Execute("GetTempDir") against calling the dlsym'd
//     EX_GetTempDir directly with the same frame;
//   - one worker round trip, Execute("RunExecutable", "true", "callback")
//     until its one status callback has run and the worker has ended, against
//     a plain thread that posts one message to a window and ends.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/automation/automation.h"
#include "shell/bridge/extension_bridge.h"

namespace {

using Clock = std::chrono::steady_clock;
using nb::bridge::ExtensionBridge;

constexpr int kRepeats = 5;
constexpr int kSyncCalls = 20000;
constexpr int kWorkerRoundTrips = 10;
constexpr int kThreadRoundTrips = 1000;
constexpr UINT kPing = WM_APP + 1;
constexpr double kLibraryStartPauseMicroseconds = 100000;

// The fastest of several runs of work, per operation, in microseconds.
template <typename Work>
double BestMicroseconds(int operations, Work work) {
    double best = 1e300;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        const auto start = Clock::now();
        work();
        const double elapsed =
            std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        best = std::min(best, elapsed / operations);
    }
    return best;
}

class CountingPage final : public nb::bridge::ScriptCallbacks {
   public:
    int calls = 0;
    HRESULT CallFunction(LPCWSTR, DISPPARAMS*, VARIANT*) override {
        ++calls;
        return S_OK;
    }
};

// Keeps the messages flowing until done() holds.
template <typename Done>
void PumpUntil(Done done) {
    HANDLE never = CreateEventW(nullptr, 0, 0, nullptr);
    while (!done()) {
        DWORD index = 0;
        CoWaitForMultipleHandles(0, 1, 1, &never, &index);
    }
    CloseHandle(never);
}

VARIANT Text(const nb::Bstr& text) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = text.Get();
    return value;
}

double ExecuteGetTempDir(ExtensionBridge& bridge) {
    const nb::Bstr name(u"GetTempDir");
    VARIANT arguments[1] = {Text(name)};
    DISPPARAMS params{arguments, nullptr, 1, 0};
    HRESULT last = E_FAIL;
    const double microseconds = BestMicroseconds(kSyncCalls, [&] {
        for (int i = 0; i < kSyncCalls; ++i) {
            nb::Variant result;
            EXCEPINFO exception{};
            last = bridge.Execute(&params, DISPATCH_METHOD, &result, &exception, nullptr);
        }
    });
    if (FAILED(last)) std::fprintf(stderr, "Execute failed: 0x%08X\n", static_cast<unsigned>(last));
    return microseconds;
}

// The same export through a handle of our own, with the frame the bridge
// would build: no arguments, no callback.
double CallGetTempDirDirectly(HWND window) {
    const std::string path = std::string(NbGetApplicationDirectory()) + "/internals/NbExternal.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto function =
        module ? reinterpret_cast<ExFunction>(dlsym(module, "EX_GetTempDir")) : nullptr;
    if (!function) {
        std::fprintf(stderr, "no EX_GetTempDir in %s\n", path.c_str());
        return 0;
    }
    HANDLE event = CreateEventW(nullptr, 1, 0, nullptr);
    DWORD target = 0, word = 0;
    WorkerSlot table[NB_WORKER_TABLE_SIZE] = {};
    SystemInformation system{};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT last = E_FAIL;
    const double microseconds = BestMicroseconds(kSyncCalls, [&] {
        for (int i = 0; i < kSyncCalls; ++i) {
            nb::Variant result;
            EXCEPINFO exception{};
            last = function(window, event, &target, &word, table, &none, &result, nullptr, nullptr,
                            &exception, nullptr, &system);
        }
    });
    if (FAILED(last))
        std::fprintf(stderr, "EX_GetTempDir failed: 0x%08X\n", static_cast<unsigned>(last));
    CloseHandle(event);
    dlclose(module);
    return microseconds;
}

double WorkerRoundTrip(ExtensionBridge& bridge, CountingPage& page) {
    const nb::Bstr name(u"RunExecutable"), program(u"true"), callback(u"callback");
    VARIANT arguments[3] = {Text(callback), Text(program), Text(name)};
    DISPPARAMS params{arguments, nullptr, 3, 0};
    return BestMicroseconds(kWorkerRoundTrips, [&] {
        for (int i = 0; i < kWorkerRoundTrips; ++i) {
            const int calls_before = page.calls;
            nb::Variant result;
            EXCEPINFO exception{};
            bridge.Execute(&params, DISPATCH_METHOD, &result, &exception, nullptr);
            PumpUntil([&] {
                return page.calls > calls_before && bridge.RegisteredWorkers() == 0 &&
                       bridge.LiveWorkerThreads() == 0;
            });
        }
    });
}

struct PingWindow {
    int received = 0;
};

LRESULT PingProcedure(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == kPing) ++static_cast<PingWindow*>(NbGetWindowData(window))->received;
    return 0;
}

DWORD PostPing(LPVOID window) {
    PostMessageW(static_cast<HWND>(window), kPing, 0, 0);
    return 0;
}

// Start a thread, receive its one message, see it end.
double ThreadRoundTrip() {
    PingWindow state;
    HWND window = NbCreateMessageWindow(&PingProcedure, &state);
    const double microseconds = BestMicroseconds(kThreadRoundTrips, [&] {
        for (int i = 0; i < kThreadRoundTrips; ++i) {
            const int received_before = state.received;
            HANDLE thread = CreateThread(nullptr, 0, &PostPing, window, 0, nullptr);
            // The message is posted before the thread ends, and handled
            // while this waits for the end.
            DWORD index = 0;
            CoWaitForMultipleHandles(0, INFINITE, 1, &thread, &index);
            nb::DispatchPendingMessages(nullptr);
            if (state.received == received_before) std::fprintf(stderr, "message lost\n");
            CloseHandle(thread);
        }
    });
    DestroyWindow(window);
    return microseconds;
}

void PrintRow(const char* name, double microseconds, double reference) {
    std::printf("%-44s %12.2f %12.2f %10.1f\n", name, microseconds, reference,
                microseconds / reference);
}

}  // namespace

int main() {
    NbSetApplicationDirectory(NB_BENCH_APP_DIR);
    const std::unique_ptr<nb::MessageLoop> loop = nb::CreateHeadlessLoop();
    nb::SetCurrentThreadLoop(loop.get());
    CountingPage page;
    SystemInformation system{};
    std::unique_ptr<ExtensionBridge> bridge =
        ExtensionBridge::Create({nullptr, &page, &system, nullptr});
    if (!bridge) return 1;

    const double direct = CallGetTempDirDirectly(bridge->Window());
    const double execute = ExecuteGetTempDir(*bridge);
    const double thread = ThreadRoundTrip();
    const double worker = WorkerRoundTrip(*bridge, page);

    std::printf("best of %d runs, microseconds per operation; ratio = bridge / reference\n",
                kRepeats);
    std::printf("%-44s %12s %12s %10s\n", "", "bridge us", "reference us", "ratio");
    PrintRow("Execute(\"GetTempDir\") vs direct EX_ call", execute, direct);
    PrintRow("worker round trip vs thread + PostMessageW", worker, thread);
    // The extension library pauses after resuming every worker it starts.
    const double without_pause = worker - kLibraryStartPauseMicroseconds;
    PrintRow("  the same without the library's 100 ms pause", without_pause, thread);
    bridge.reset();
    nb::SetCurrentThreadLoop(nullptr);
    return 0;
}
