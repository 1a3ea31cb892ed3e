#include "platform/ui/message_box.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/text/code_pages.h"

namespace {

std::u16string_view ViewOf(LPCWSTR text) { return text ? std::u16string_view(text) : u""; }

int PrintToStandardError(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::fprintf(stderr, "[%s] %s\n", nb::ToUtf8(ViewOf(caption)).c_str(),
                 nb::ToUtf8(ViewOf(text)).c_str());
    switch (type & 0xF) {
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNOCANCEL:
        case MB_YESNO:
            return IDYES;
        case MB_RETRYCANCEL:
            return IDRETRY;
        case MB_CANCELTRYCONTINUE:
            return IDCANCEL;
        default:
            return IDOK;
    }
}

std::atomic<MessageBoxPresenter> g_presenter{&PrintToStandardError};

}  // namespace

NB_API int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    return g_presenter.load()(owner, text, caption, type);
}

NB_API MessageBoxPresenter NbSetMessageBoxPresenter(MessageBoxPresenter presenter) {
    return g_presenter.exchange(presenter ? presenter : &PrintToStandardError);
}
