#include "shell/bridge/extension_module.h"

#include <dlfcn.h>

#include "platform/automation/com.h"

namespace nb::bridge {

std::string ExtensionModule::LibraryPath() {
    return std::string(NbGetApplicationDirectory()) + "/internals/NbExternal.so";
}

std::shared_ptr<ExtensionModule> ExtensionModule::Load() {
    void* handle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    return std::shared_ptr<ExtensionModule>(new ExtensionModule(handle));
}

ExtensionModule::~ExtensionModule() { dlclose(m_handle); }

ExFunction ExtensionModule::FindExport(const std::string& name) const {
    const std::string symbol = "EX_" + name;
    return reinterpret_cast<ExFunction>(dlsym(m_handle, symbol.c_str()));
}

}  // namespace nb::bridge
