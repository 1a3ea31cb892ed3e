// The loaded extension library, internals/NbExternal.so of the application
// directory, and the look-up of its EX_ exports.
#pragma once

#include <memory>
#include <string>

#include "common/worker_protocol.h"

namespace nb::bridge {

class ExtensionModule {
   public:
    // Loads the library of the current application directory; null when it
    // cannot be loaded.
    [[nodiscard]] static std::shared_ptr<ExtensionModule> Load();
    // The path Load uses.
    static std::string LibraryPath();

    ExtensionModule(const ExtensionModule&) = delete;
    ExtensionModule& operator=(const ExtensionModule&) = delete;
    ~ExtensionModule();

    // The export "EX_" + name (name is UTF-8 text), looked up anew on every
    // call; null when the library has none.
    ExFunction FindExport(const std::string& name) const;

   private:
    explicit ExtensionModule(void* handle) : m_handle(handle) {}
    void* m_handle;
};

}  // namespace nb::bridge
