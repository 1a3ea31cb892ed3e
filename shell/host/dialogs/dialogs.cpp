// The dialog members of CBrowserCustomizer: ShowModalDialog and
// ShowModelessDialog on the opener's side, the link, the dialogArguments
// and returnValue properties and the opener's disabling on the dialog's.
#include "shell/host/dialogs/dialogs.h"

#include <gtk/gtk.h>

#include "common/error_report.h"
#include "common/variant_text.h"
#include "platform/automation/com_ptr.h"
#include "platform/text/code_pages.h"
#include "shell/host/dialogs/dialog_loop.h"
#include "shell/host/dialogs/dialog_rules.h"
#include "shell/host/program/class_table.h"
#include "shell/host/script_object/browser_customizer.h"
#include "shell/host/window/host_window.h"
#include "shell/host/window/web_engine.h"

namespace nb::shell {
namespace {

constexpr LPCWSTR kReportSource = u"Invoke";
constexpr WORD kErrorDialogUrl = 1100;
constexpr LPCWSTR kMessageDialogUrl = u"Catastrophic: Cannot build szAbsoluteUrl";

std::u16string_view TextOf(const VARIANT& value) { return NbBstrView(value.bstrVal); }

const VARIANT* Dereferenced(const VARIANT* value) {
    if (value->vt == (VT_BYREF | VT_VARIANT) && value->pvarVal) return value->pvarVal;
    return value;
}

// A missing or undefined features argument means no features.
bool IsAbsent(const VARIANT& value) { return value.vt == VT_EMPTY || value.vt == VT_NULL; }

// The opener's window while it exists.
GtkWindow* LiveWindow(CBrowserCustomizer* owner) {
    HostWindow* window = owner ? owner->Window() : nullptr;
    return window && !window->Destroyed() ? window->Window() : nullptr;
}

// Enabled again, with the keyboard back on its page: making it insensitive
// took the focus away from the view.
void EnableOpener(CBrowserCustomizer* opener) {
    GtkWindow* window = LiveWindow(opener);
    if (!window) return;
    gtk_widget_set_sensitive(GTK_WIDGET(window), TRUE);
    gtk_widget_grab_focus(GTK_WIDGET(opener->Window()->View()));
}

}  // namespace

HRESULT CBrowserCustomizer::InitModalDialog(CBrowserCustomizer* opener, VARIANT* arguments,
                                            VARIANT* result, VARIANT* url, VARIANT* features,
                                            LONG* alive) {
    if (!opener || !result || !url || !alive) return E_POINTER;
    EndDialogLink();
    opener->AddRef();
    m_dialog = DialogLink{opener, arguments, result, url, features, alive, false};
    return S_OK;
}

HRESULT CBrowserCustomizer::ShowDialog(WindowType type, DISPPARAMS* params, VARIANT* result,
                                       EXCEPINFO* exception, UINT* argument_error) {
    const UINT count = params ? params->cArgs : 0;
    if (count < 1 || count > 3) return DISP_E_BADPARAMCOUNT;
    VARIANT& url = params->rgvarg[count - 1];
    if (url.vt != VT_BSTR) {
        if (argument_error) *argument_error = count - 1;
        return DISP_E_TYPEMISMATCH;
    }
    VARIANT* arguments = count >= 2 ? &params->rgvarg[count - 2] : nullptr;
    VARIANT* features = count == 3 && !IsAbsent(params->rgvarg[0]) ? &params->rgvarg[0] : nullptr;
    if (features && features->vt != VT_BSTR) {
        if (argument_error) *argument_error = 0;
        return DISP_E_TYPEMISMATCH;
    }

    // This object's page may close its window meanwhile; the object itself
    // stays until the call returns.
    const ComPtr<CBrowserCustomizer> self = ComPtr<CBrowserCustomizer>::Share(this);
    ComPtr<CBrowserCustomizer> dialog =
        ComPtr<CBrowserCustomizer>::Attach(CreateBrowserCustomizer(m_engine));
    if (!dialog) {
        m_engine.ShowMessage(LiveWindow(this),
                             "Legacy_CoCreateInstance(CLSID_BrowserCustomizer) failed",
                             "BrowserCustomizer/DISPID_SHOW_MODAL_DIALOG");
        return E_FAIL;
    }
    const std::u16string location = m_window ? ToUtf16(m_window->CurrentUrl()) : std::u16string();
    const std::optional<std::u16string> absolute =
        ResolveDialogUrl(TextOf(url), location, m_engine.ProgramDirectory());
    if (!absolute)
        return NbFillExceptionInfo(exception, kReportSource, kErrorDialogUrl, kMessageDialogUrl);
    Variant dialog_url;
    dialog_url.vt = VT_BSTR;
    dialog_url.bstrVal = SysAllocStringLen(absolute->data(), static_cast<UINT>(absolute->size()));
    if (!dialog_url.bstrVal) return E_OUTOFMEMORY;

    dialog->SetWindowType(type);
    // Without a result of the caller's, the dialog's returnValue still has a place.
    Variant unused_result;
    LONG alive = 1;
    dialog->InitModalDialog(this, arguments, result ? result : &unused_result, &dialog_url,
                            features, &alive);
    if (FAILED(dialog->Run())) {
        dialog->EndDialogLink();
        return S_OK;
    }
    if (RunDialogLoop(alive) == DialogLoopEnd::kQuit) {
        // The program is ending: the dialog goes first, as it would with its opener.
        dialog->Exit();
    }
    // The pointers into this frame must not outlive it, whatever holds the dialog.
    dialog->EndDialogLink();
    return S_OK;
}

void CBrowserCustomizer::ApplyDialogLink() {
    const bool is_dialog =
        m_type == WindowType::kModalDialog || m_type == WindowType::kModelessDialog;
    if (!is_dialog || !m_dialog.url || m_dialog.url->vt != VT_BSTR) return;
    if (m_dialog.features && m_dialog.features->vt == VT_BSTR) {
        const std::u16string_view features = TextOf(*m_dialog.features);
        ApplyDialogSettings(TextOf(*m_dialog.url), &features, m_settings);
    } else {
        ApplyDialogSettings(TextOf(*m_dialog.url), nullptr, m_settings);
    }
}

void CBrowserCustomizer::AttachToOpener() {
    GtkWindow* opener = LiveWindow(m_dialog.opener);
    if (!opener || !m_window) return;
    GtkWindow* dialog = m_window->Window();
    // Kept above its opener, and gone with it, as an owned window is.
    gtk_window_set_transient_for(dialog, opener);
    gtk_window_set_destroy_with_parent(dialog, TRUE);
    if (m_type == WindowType::kModalDialog) {
        // An insensitive window takes no keys or clicks, and its close is ignored.
        gtk_widget_set_sensitive(GTK_WIDGET(opener), FALSE);
        m_dialog.opener_disabled = true;
    }
}

void CBrowserCustomizer::ReturnToOpener() {
    GtkWindow* opener = LiveWindow(m_dialog.opener);
    if (!opener) return;
    if (m_dialog.opener_disabled) {
        EnableOpener(m_dialog.opener);
        m_dialog.opener_disabled = false;
    }
    // To the front, but a hidden opener stays hidden.
    if (gtk_widget_get_visible(GTK_WIDGET(opener))) gtk_window_present(opener);
}

void CBrowserCustomizer::EndDialogLink() {
    if (!m_dialog.opener) return;
    if (m_dialog.opener_disabled) EnableOpener(m_dialog.opener);
    if (m_dialog.alive) *m_dialog.alive = 0;
    CBrowserCustomizer* opener = m_dialog.opener;
    m_dialog = DialogLink{};
    opener->Release();
}

HRESULT CBrowserCustomizer::GetDialogProperty(DISPID dispid, VARIANT* result) {
    const VARIANT* source = dispid == kDialogArguments ? m_dialog.arguments : m_dialog.result;
    if (!source) return DISP_E_MEMBERNOTFOUND;
    return VariantCopy(result, Dereferenced(source));
}

HRESULT CBrowserCustomizer::PutDialogProperty(DISPID dispid, const VARIANT& value) {
    VARIANT* target = dispid == kDialogArguments ? m_dialog.arguments : m_dialog.result;
    if (!target) return DISP_E_MEMBERNOTFOUND;
    const VARIANT* source = Dereferenced(&value);
    if (source == target) return S_OK;
    VariantClear(target);
    return VariantCopy(target, source);
}

}  // namespace nb::shell
