// nbrun: calls one function of the extension library the way a page does,
// through the shell's extension bridge on a headless message loop, and
// prints what the page would receive as JSON lines.
#include <cstdio>
#include <memory>
#include <string>

#include "platform/automation/com_ptr.h"
#include "platform/text/code_pages.h"
#include "shell/bridge/extension_bridge.h"
#include "tools/nbrun/command_line.h"
#include "tools/nbrun/json_output.h"
#include "tools/nbrun/script_json.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr char16_t kCallbackName[] = u"callback";
constexpr DWORD kPumpSliceMs = 20;

int UsageError(const std::string& reason) {
    std::fprintf(stderr, "nbrun: %s\n%s", reason.c_str(), nb::nbrun::kUsage);
    return kExitUsage;
}

// The args parameter from its JSON text; an exit code when it has none.
std::optional<int> ReadArgs(const std::string& text, VARIANT* args) {
    const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded()) return UsageError("JSON-ARGS is not valid JSON");
    const HRESULT hr = nb::nbrun::JsonToScriptValue(parsed, args);
    if (hr == E_INVALIDARG)
        return UsageError("JSON-ARGS holds an object or arrays nested too deeply");
    if (FAILED(hr)) {
        std::fprintf(stderr, "nbrun: cannot make script arrays (internals/NbUtils.so)\n");
        return kExitFailure;
    }
    return std::nullopt;
}

// Keeps the messages flowing until every worker has given back its slot and
// its thread has ended.
void WaitForWorkers(const nb::bridge::ExtensionBridge& bridge) {
    HANDLE changed = bridge.WorkersChangedEvent();
    for (;;) {
        ResetEvent(changed);
        if (bridge.RegisteredWorkers() == 0 && bridge.LiveWorkerThreads() == 0) return;
        DWORD index = 0;
        CoWaitForMultipleHandles(0, kPumpSliceMs, 1, &changed, &index);
    }
}

// Execute's parameters: name, args when given and the callback name when
// wanted, in script order; Params() gives them last-first, as DISPPARAMS.
class ExecuteParameters {
   public:
    explicit ExecuteParameters(const nb::nbrun::Options& options)
        : m_name(nb::ToUtf16(options.name)),
          m_callback(kCallbackName),
          m_wants_callback(options.callback) {
        VariantInit(&m_args);
    }
    ExecuteParameters(const ExecuteParameters&) = delete;
    ExecuteParameters& operator=(const ExecuteParameters&) = delete;
    ~ExecuteParameters() { VariantClear(&m_args); }

    std::optional<int> SetArgs(const std::string& json_text) {
        m_has_args = true;
        return ReadArgs(json_text, &m_args);
    }
    DISPPARAMS Params() {
        UINT count = 0;
        if (m_wants_callback) m_reversed[count++] = Text(m_callback);
        if (m_has_args) m_reversed[count++] = m_args;
        m_reversed[count++] = Text(m_name);
        return {m_reversed, nullptr, count, 0};
    }

   private:
    static VARIANT Text(const nb::Bstr& text) {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = text.Get();
        return value;
    }

    nb::Bstr m_name;
    nb::Bstr m_callback;
    bool m_wants_callback;
    VARIANT m_args;
    bool m_has_args = false;
    VARIANT m_reversed[3];  // shallow views of the members above
};

// Installs the loop for the calling thread while it lives.
class HeadlessLoop {
   public:
    HeadlessLoop() : m_loop(nb::CreateHeadlessLoop()) { nb::SetCurrentThreadLoop(m_loop.get()); }
    ~HeadlessLoop() { nb::SetCurrentThreadLoop(nullptr); }
    HeadlessLoop(const HeadlessLoop&) = delete;
    HeadlessLoop& operator=(const HeadlessLoop&) = delete;

   private:
    std::unique_ptr<nb::MessageLoop> m_loop;
};

// Calls the function, prints the outcome, and answers the HRESULT.
HRESULT CallAndPrint(nb::bridge::ExtensionBridge& bridge, ExecuteParameters& parameters) {
    DISPPARAMS params = parameters.Params();
    nb::Variant result;
    EXCEPINFO exception{};
    UINT argument_error = 0;
    const HRESULT hr =
        bridge.Execute(&params, DISPATCH_METHOD, &result, &exception, &argument_error);
    const std::string line = nb::nbrun::JsonLine(nb::nbrun::OutcomeJson(hr, result, exception));
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

int Run(const nb::nbrun::Options& options) {
    if (options.app_dir) NbSetApplicationDirectory(options.app_dir->c_str());
    const HeadlessLoop loop;
    nb::nbrun::PrintingPage page(kCallbackName, stdout);
    SystemInformation system{};
    const std::unique_ptr<nb::bridge::ExtensionBridge> bridge =
        nb::bridge::ExtensionBridge::Create({nullptr, &page, &system, nullptr});
    if (!bridge) {
        std::fprintf(stderr, "nbrun: cannot create the bridge\n");
        return kExitFailure;
    }
    ExecuteParameters parameters(options);
    if (options.args)
        if (std::optional<int> exit_code = parameters.SetArgs(*options.args)) return *exit_code;
    const HRESULT hr = CallAndPrint(*bridge, parameters);
    WaitForWorkers(*bridge);
    return FAILED(hr) ? kExitFailure : kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<nb::nbrun::Options> options =
        nb::nbrun::ParseCommandLine(argc, argv, &error);
    if (!options) return UsageError(error);
    if (options->help) {
        std::fputs(nb::nbrun::kUsage, stdout);
        return kExitSuccess;
    }
    return Run(*options);
}
