#include "platform/automation/com.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/program_paths.h"

namespace {

// The classes of the application's own modules and where each is served
// from, relative to the application directory. This is the registration-free
// activation the program ships with.
struct ActivationEntry {
    CLSID clsid;
    const char* module;
};
constexpr ActivationEntry kActivationTable[] = {
    // NbJsArray, the script array
    {{0x83803D9F, 0x884B, 0x4C1D, {0x9A, 0x48, 0x17, 0xEA, 0xCD, 0xED, 0x05, 0xA3}},
     "internals/NbUtils.so"},
};

struct LoadedModule {
    std::string path;
    void* handle;
};

class ModuleTable {
   public:
    static ModuleTable& Instance() {
        static ModuleTable table;
        return table;
    }

    void SetApplicationDirectory(std::string directory) {
        std::lock_guard lock(m_mutex);
        while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
        m_application_directory = std::move(directory);
    }
    const char* ApplicationDirectory() {
        std::lock_guard lock(m_mutex);
        return m_application_directory.c_str();
    }

    // Modules are loaded once and stay loaded for the life of the process:
    // objects they served may outlive any caller's bookkeeping.
    HRESULT GetClassObjectFunction(const char* module, DllGetClassObjectFunction* function) {
        std::lock_guard lock(m_mutex);
        std::string path = m_application_directory + "/" + module;
        void* handle = nullptr;
        for (const LoadedModule& loaded : m_modules)
            if (loaded.path == path) handle = loaded.handle;
        if (!handle) {
            handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) return CO_E_DLLNOTFOUND;
            m_modules.push_back({path, handle});
        }
        *function = reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle, "DllGetClassObject"));
        return *function ? S_OK : CO_E_ERRORINDLL;
    }

   private:
    ModuleTable() : m_application_directory(nb::ProgramDirectory()) {}

    std::mutex m_mutex;
    std::string m_application_directory;
    std::vector<LoadedModule> m_modules;
};

thread_local int t_apartment_depth = 0;

}  // namespace

NB_API LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size ? size : 1); }

NB_API LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T size) {
    return std::realloc(block, size ? size : 1);
}

NB_API void CoTaskMemFree(LPVOID block) { std::free(block); }

NB_API HRESULT CoInitializeEx(LPVOID, DWORD) { return t_apartment_depth++ == 0 ? S_OK : S_FALSE; }

NB_API HRESULT CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

NB_API void CoUninitialize() {
    if (t_apartment_depth > 0) --t_apartment_depth;
}

NB_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID, REFIID iid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    for (const ActivationEntry& entry : kActivationTable) {
        if (entry.clsid != clsid) continue;
        DllGetClassObjectFunction get_class_object = nullptr;
        HRESULT hr =
            ModuleTable::Instance().GetClassObjectFunction(entry.module, &get_class_object);
        if (FAILED(hr)) return hr;
        return get_class_object(clsid, iid, object);
    }
    return REGDB_E_CLASSNOTREG;
}

NB_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, iid, object);
    factory->Release();
    return hr;
}

NB_API bool NbSetApplicationDirectory(const char* path) {
    if (!path || !*path) return false;
    ModuleTable::Instance().SetApplicationDirectory(path);
    return true;
}

NB_API const char* NbGetApplicationDirectory() {
    return ModuleTable::Instance().ApplicationDirectory();
}
