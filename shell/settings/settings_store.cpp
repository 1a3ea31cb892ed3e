#include "shell/settings/settings_store.h"

#include <glib.h>

#include "platform/glib/owned.h"
#include "platform/profile/ini_document.h"
#include "platform/text/code_pages.h"

namespace nb::shell {
namespace {

// One section of an INI file. Each write reads the file again, edits the one
// key and replaces the file atomically, so a crash never leaves half a file
// and other sections and lines survive untouched.
class IniSettingsStore final : public SettingsStore {
   public:
    explicit IniSettingsStore(std::string path) : m_path(std::move(path)) { m_document = Load(); }

    std::u16string ReadText(std::u16string_view key, std::u16string_view fallback) override {
        return m_document.Get(kSettingsSection, key).value_or(std::u16string(fallback));
    }

    std::uint32_t ReadNumber(std::u16string_view key, std::uint32_t fallback) override {
        const std::optional<std::u16string> text = m_document.Get(kSettingsSection, key);
        if (!text) return fallback;
        return NumberFromText(*text);
    }

    bool WriteText(std::u16string_view key, std::u16string_view value) override {
        IniDocument document = Load();
        if (document.Set(kSettingsSection, key, value) == IniDocument::EditResult::kRejected)
            return false;
        const std::string text = document.Serialize();
        if (!g_file_set_contents(m_path.c_str(), text.data(), static_cast<gssize>(text.size()),
                                 nullptr))
            return false;
        m_document = std::move(document);
        return true;
    }

   private:
    IniDocument Load() const {
        glib::Text contents;
        gsize length = 0;
        if (!g_file_get_contents(m_path.c_str(), glib::Out(contents), &length, nullptr))
            return IniDocument::Parse("");
        return IniDocument::Parse(std::string_view(contents.get(), length));
    }

    std::string m_path;
    IniDocument m_document = IniDocument::Parse("");
};

}  // namespace

std::unique_ptr<SettingsStore> OpenSettingsFile(const std::u16string& path) {
    if (path.empty()) return nullptr;
    return std::make_unique<IniSettingsStore>(ToUtf8(path));
}

std::u16string DefaultSettingsFile(const std::u16string& program_path) {
    const std::size_t slash = program_path.rfind(u'/');
    const std::size_t dot = program_path.rfind(u'.');
    const bool has_extension =
        dot != std::u16string::npos && (slash == std::u16string::npos || dot > slash);
    return (has_extension ? program_path.substr(0, dot) : program_path) + u".ini";
}

}  // namespace nb::shell
