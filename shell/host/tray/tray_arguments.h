// The pure rules of the notification-area and shutdown methods: reading their
// script arguments, cutting texts to the sizes the icon record and the
// shutdown block hold, and the balloon's icon kinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/interfaces.h"

namespace nb::shell {

// Sizes in UTF-16 units, as the system counts them.
constexpr std::size_t kTrayTipUnits = 63;
constexpr std::size_t kBalloonTextUnits = 255;
constexpr std::size_t kBalloonTitleUnits = 63;
constexpr std::size_t kShutdownReasonUnits = 256;
constexpr std::int32_t kDefaultBalloonTimeoutMs = 10000;

enum class BalloonIcon { kNone, kInformation, kWarning, kError };

struct BalloonRequest {
    std::u16string text;
    std::u16string title;
    std::int32_t timeout_ms = kDefaultBalloonTimeoutMs;
    BalloonIcon icon = BalloonIcon::kInformation;
};

// The first max_units units of text. A surrogate pair the cut would split is
// dropped whole, so the result always converts to valid UTF-8.
std::u16string CutUnits(std::u16string_view text, std::size_t max_units);

// 0 none, 1 information, 2 warning, 3 error; any other kind is information.
BalloonIcon BalloonIconFromKind(std::int32_t kind);
// The freedesktop icon name of a kind; empty for none.
std::string_view BalloonIconName(BalloonIcon icon);

// ShowSystrayBalloon(text [, title [, timeout [, icon]]]), texts already cut.
// DISP_E_BADPARAMCOUNT outside one to four arguments; DISP_E_TYPEMISMATCH
// with *argument_error at the text's position when the text is not text.
// The optional arguments are converted where they can be; absent, null or
// unconvertible ones take their defaults, and a timeout of 0 or below (never
// a balloon's meaning) takes the default too.
HRESULT ReadBalloonArguments(const DISPPARAMS* params, BalloonRequest* request,
                             UINT* argument_error);

// The application's icon file: the program's path with its extension, if it
// has one, replaced by ".png".
std::string IconFileBeside(std::u16string_view program_path);

// DisableShutdown(reason): exactly one text argument, cut to the reason size.
HRESULT ReadShutdownReason(const DISPPARAMS* params, std::u16string* reason, UINT* argument_error);

}  // namespace nb::shell
