// nb-selfcheck: exercises the built application directory end to end the way
// the deliverables will: a script array created through class activation and
// filled as EX_ functions fill result lists, its copy for a worker thread, and
// a file served through the response buffer with its content type.
#include <cstdio>
#include <string>

#include "common/argument_copy.h"
#include "common/buffer.h"
#include "common/mime.h"
#include "common/native_vector.h"
#include "common/script_array.h"
#include "platform/automation/automation.h"
#include "platform/text/code_pages.h"

namespace {

int Fail(const char* what, HRESULT hr) {
    std::printf("FAILED: %s (0x%08X)\n", what, static_cast<unsigned>(hr));
    return 1;
}

int CheckScriptArray() {
    nb::Variant array;
    HRESULT hr = NB_ARRAY_CREATE(&array);
    if (FAILED(hr)) return Fail("create a script array from internals/NbUtils.so", hr);
    const char16_t* items[] = {u"song.mp3", u"ring.3gp", u"ring.wav"};
    for (int i = 0; i < 3; ++i)
        if (FAILED(hr = NB_ARRAY_ADDSTRING(&array, i, items[i]))) return Fail("add an element", hr);
    LONG length = 0;
    if (FAILED(hr = NB_ARRAY_GETLENGTH(&array, &length))) return Fail("read length", hr);
    std::printf("script array: length %d;", static_cast<int>(length));
    for (LONG i = 0; i < length; ++i) {
        nb::Variant element;
        if (FAILED(hr = NB_ARRAY_GETELEMENT(&array, i, &element)))
            return Fail("read an element", hr);
        std::printf(" [%d] %s", static_cast<int>(i), nb::ToUtf8(element.bstrVal).c_str());
    }
    DISPPARAMS arguments{&array, nullptr, 1, 0};
    nb::ArgumentCopy copy(NB_DISPPARAMS_COPY(&arguments));
    LONG copied = 0;
    if (!copy || FAILED(hr = NB_VECTOR_LENGTH(&copy->rgvarg[0], &copied)))
        return Fail("copy for a worker", hr);
    std::printf("\nworker copy: native vector of %d elements\n", static_cast<int>(copied));
    return 0;
}

int CheckResponseBuffer(const std::string& path) {
    auto buffer = nb::Buffer::Create(0);
    if (!buffer) return Fail("create a response buffer", E_OUTOFMEMORY);
    std::u16string wide_path = nb::ToUtf16(path);
    HRESULT hr = buffer->WriteFromFile(wide_path.c_str());
    if (FAILED(hr)) return Fail("read the served file", hr);
    buffer->MarkComplete();
    std::printf("served %s: %u bytes as %s\n", path.c_str(), buffer->Total(),
                nb::ToUtf8(nb::MimeTypeForFileName(wide_path.c_str())).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    std::printf("application directory: %s\n", NbGetApplicationDirectory());
    int failures = CheckScriptArray();
    failures += CheckResponseBuffer(argc > 1 ? argv[1] : "/etc/hostname");
    CoUninitialize();
    std::printf(failures ? "self-check failed\n" : "self-check passed\n");
    return failures ? 1 : 0;
}
