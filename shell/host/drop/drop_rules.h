// The rules of file drops on a shell window, apart from the toolkit: which
// paths a dropped file list gives the page, how the page's handlers are
// called, and what their answers do to the drop effect.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/interfaces.h"

namespace nb::shell {

// Drop effects as a set, with the system's values.
enum DropEffect : std::uint32_t {
    kDropNone = 0,
    kDropCopy = 1,
    kDropMove = 2,
    kDropLink = 4,
};

// A dropped path is cut to this many UTF-16 units.
constexpr std::size_t kMaxDropPath = 260;

// The local paths of a text/uri-list's URIs, in the order the page gets
// them: the last dropped file first. URIs that name no local file are left
// out; each path is cut to kMaxDropPath UTF-16 units, never inside a
// surrogate pair.
std::vector<std::u16string> DroppedPaths(const std::vector<std::string>& uris);

// The integer a handler answered: numbers (and booleans) that convert to a
// 32-bit integer; nothing for text, objects and an empty answer.
std::optional<std::int32_t> AnswerNumber(const VARIANT& answer);

// Enter: 1 refuses; 2, 3 and 4 restrict the offered effects to copy, move
// or link; anything else keeps them.
std::uint32_t EffectAfterEnter(std::optional<std::int32_t> answer, std::uint32_t offered);
// Over and drop: 1 none, 2 copy, 3 move, 4 link; anything else keeps the
// effect as it was.
std::uint32_t EffectAfterAnswer(std::optional<std::int32_t> answer, std::uint32_t current);

// The arguments of a handler call in DISPPARAMS order (the script's last
// argument first) for enter(x, y, paths...) or drop(x, y, paths...), with
// paths in the order DroppedPaths gives them; or none at all for leave().
class DropArguments {
   public:
    DropArguments() = default;
    DropArguments(int x, int y, const std::vector<std::u16string>* paths);
    DropArguments(const DropArguments&) = delete;
    DropArguments& operator=(const DropArguments&) = delete;
    ~DropArguments();

    // Valid while this object lives; false when a text could not be allocated.
    bool Complete() const { return m_complete; }
    DISPPARAMS* Params() { return &m_params; }

   private:
    std::vector<VARIANT> m_values;
    DISPPARAMS m_params{nullptr, nullptr, 0, 0};
    bool m_complete = true;
};

}  // namespace nb::shell
