// A page that writes without pause, for the durability test: calls
// EX_SetRegVal (text values) or EX_SetJarVal through the shell's bridge for
// i = FIRST, FIRST + 1, ... and prints i once its call has returned.
//   storage_loop APP-DIR reg|jar FIRST
#include "external/storage/tests/storage_loop.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/script_array.h"
#include "platform/automation/automation.h"
#include "platform/text/code_pages.h"
#include "shell/bridge/extension_bridge.h"

namespace {

using nb::external::testing::LoopName;
using nb::external::testing::LoopValue;

// The test kills the loop long before; the bound only keeps a forgotten one
// from running on.
constexpr long kMaxCalls = 100000;

bool AddText(const VARIANT& list, int index, const std::string& text) {
    return SUCCEEDED(NB_ARRAY_ADDSTRING(&list, index, nb::ToUtf16(text).c_str()));
}

// The arguments of call i, as a page passes them: one script array.
bool Arguments(bool registry, long i, VARIANT& list) {
    if (FAILED(NB_ARRAY_CREATE(&list))) return false;
    if (registry)
        return SUCCEEDED(NB_ARRAY_ADDINT(&list, 0, 4002)) &&
               AddText(list, 1, nb::external::testing::kLoopRegistryKey) &&
               AddText(list, 2, LoopName(i)) && AddText(list, 3, LoopValue(i)) &&
               SUCCEEDED(NB_ARRAY_ADDINT(&list, 4, 4011));
    return AddText(list, 0, nb::external::testing::kLoopJarSection) &&
           AddText(list, 1, LoopName(i)) && AddText(list, 2, LoopValue(i));
}

int Loop(nb::bridge::ExtensionBridge& bridge, bool registry, long first) {
    const nb::Bstr name(registry ? u"SetRegVal" : u"SetJarVal");
    for (long i = first; i < first + kMaxCalls; ++i) {
        nb::Variant list;
        if (!Arguments(registry, i, list)) return 1;
        VARIANT parameters[2] = {list, {}};
        parameters[1].vt = VT_BSTR;
        parameters[1].bstrVal = name.Get();
        DISPPARAMS params{parameters, nullptr, 2, 0};
        nb::Variant result;
        EXCEPINFO exception{};
        const HRESULT hr = bridge.Execute(&params, DISPATCH_METHOD, &result, &exception, nullptr);
        if (FAILED(hr)) {
            std::fprintf(stderr, "call %ld failed: 0x%08X\n", i, static_cast<unsigned>(hr));
            return 1;
        }
        std::printf("%ld\n", i);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: storage_loop APP-DIR reg|jar FIRST\n");
        return 2;
    }
    NbSetApplicationDirectory(argv[1]);
    const std::unique_ptr<nb::MessageLoop> loop = nb::CreateHeadlessLoop();
    nb::SetCurrentThreadLoop(loop.get());
    SystemInformation system{};
    std::unique_ptr<nb::bridge::ExtensionBridge> bridge =
        nb::bridge::ExtensionBridge::Create({nullptr, nullptr, &system, nullptr});
    const int exit_code =
        bridge ? Loop(*bridge, std::string(argv[2]) == "reg", std::atol(argv[3])) : 1;
    bridge.reset();
    nb::SetCurrentThreadLoop(nullptr);
    return exit_code;
}
