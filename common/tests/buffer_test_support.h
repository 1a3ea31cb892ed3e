// Helpers shared by the response buffer and URL cache tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/ui/message_box.h"

namespace nb::test {

struct ShownBox {
    std::u16string text;
    std::u16string caption;
};

// Records every message box shown while it lives instead of presenting it.
class MessageBoxRecorder {
   public:
    MessageBoxRecorder() : m_previous(NbSetMessageBoxPresenter(&Record)) { Boxes().clear(); }
    ~MessageBoxRecorder() { NbSetMessageBoxPresenter(m_previous); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const std::vector<ShownBox>& Shown() const { return Boxes(); }
    void Clear() { Boxes().clear(); }

   private:
    static std::vector<ShownBox>& Boxes() {
        static std::vector<ShownBox> boxes;
        return boxes;
    }
    static int Record(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
        Boxes().push_back({text ? text : u"", caption ? caption : u""});
        return IDOK;
    }

    MessageBoxPresenter m_previous;
};

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TemporaryDirectory {
   public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "nbtest-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return m_path; }

   private:
    std::string m_path;
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

inline void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Bytes that differ from their neighbours, so a lost, repeated or reordered
// piece shows up in a comparison.
inline std::string Pattern(std::size_t size, std::size_t shift = 0) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i + shift) * 131 + (i + shift) / 251);
    return bytes;
}

}  // namespace nb::test
