#include "shell/bridge/extension_module.h"

#include <dlfcn.h>

#include "platform/automation/com.h"

namespace nb::bridge {

std::string ExtensionModule::LibraryPath() {
    return std::string(NbGetApplicationDirectory()) + "/internals/NbExternal.so";
}

// Releasing the module drops our handle but never unmaps it: the media
// libraries it pulls in keep global state from their initialisation that
// an unload would strand, and an abandoned worker may still be running its
// code.
std::shared_ptr<ExtensionModule> ExtensionModule::Load() {
    void* handle = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) return nullptr;
    return std::shared_ptr<ExtensionModule>(new ExtensionModule(handle));
}

ExtensionModule::~ExtensionModule() { dlclose(m_handle); }

ExFunction ExtensionModule::FindExport(const std::string& name) const {
    const std::string symbol = "EX_" + name;
    return reinterpret_cast<ExFunction>(dlsym(m_handle, symbol.c_str()));
}

}  // namespace nb::bridge
