// The registry scripts of the shell's class: the application id and the
// class with its ProgIDs, applied to HKEY_CLASSES_ROOT of the registry layer.
#pragma once

#include <string>

namespace nb::shell {

enum class ScriptMode { kRegister, kUnregister };

// The application id script. Unregistering leaves the AppID key itself.
bool ApplyAppIdScript(ScriptMode mode, const std::string& program_path);
// The class script: both ProgIDs and CLSID\{...} (removed whole).
bool ApplyClassScript(ScriptMode mode, const std::string& program_path);

}  // namespace nb::shell
