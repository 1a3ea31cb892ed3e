// Type information built from an interface description. Invoke calls the
// described vtable slot of the instance directly, for the few signatures the
// system's classes use.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "platform/automation/com_ptr.h"
#include "platform/text/ascii_case.h"
#include "platform/text/code_pages.h"

namespace {

struct Method {
    std::u16string name;
    DISPID dispid;
    UINT slot;
    CALLCONV convention;
    WORD flags;
    VARTYPE result_type;
    std::vector<VARTYPE> parameter_types;
};

enum class Signature { kGetVariant, kPutVariant, kCall, kUnsupported };

Signature SignatureOf(const Method& method) {
    const bool returns_nothing = method.result_type == VT_EMPTY || method.result_type == VT_VOID ||
                                 method.result_type == VT_HRESULT;
    if (method.parameter_types.empty() && method.result_type == VT_VARIANT)
        return Signature::kGetVariant;
    if (method.parameter_types.size() == 1 && method.parameter_types[0] == VT_VARIANT &&
        returns_nothing)
        return Signature::kPutVariant;
    if (method.parameter_types.empty() && returns_nothing) return Signature::kCall;
    return Signature::kUnsupported;
}

BSTR NewBstr(std::u16string_view text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

class DescribedTypeInfo final : public ITypeInfo {
   public:
    DescribedTypeInfo(std::vector<Method> methods, LCID locale)
        : m_methods(std::move(methods)), m_locale(locale) {}
    virtual ~DescribedTypeInfo() = default;

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ITypeInfo) {
            *object = static_cast<ITypeInfo*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override {
        ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

    HRESULT GetTypeAttr(TYPEATTR** attributes) override {
        if (!attributes) return E_INVALIDARG;
        auto* attr = static_cast<TYPEATTR*>(std::calloc(1, sizeof(TYPEATTR)));
        if (!attr) return E_OUTOFMEMORY;
        attr->lcid = m_locale;
        attr->memidConstructor = MEMBERID_NIL;
        attr->memidDestructor = MEMBERID_NIL;
        attr->typekind = TKIND_INTERFACE;
        attr->cFuncs = static_cast<WORD>(m_methods.size());
        attr->cbSizeVft = static_cast<WORD>(VtableBytes());
        attr->cbAlignment = alignof(void*);
        *attributes = attr;
        return S_OK;
    }
    void ReleaseTypeAttr(TYPEATTR* attributes) override { std::free(attributes); }

    HRESULT GetFuncDesc(UINT index, FUNCDESC** description) override {
        if (!description) return E_INVALIDARG;
        if (index >= m_methods.size()) return TYPE_E_ELEMENTNOTFOUND;
        const Method& method = m_methods[index];
        const std::size_t count = method.parameter_types.size();
        // One block: the description, then its parameter descriptions.
        void* block = std::calloc(1, sizeof(FUNCDESC) + count * sizeof(ELEMDESC));
        if (!block) return E_OUTOFMEMORY;
        auto* desc = static_cast<FUNCDESC*>(block);
        auto* params = reinterpret_cast<ELEMDESC*>(desc + 1);
        for (std::size_t i = 0; i < count; ++i) params[i].tdesc.vt = method.parameter_types[i];
        desc->memid = method.dispid;
        desc->lprgelemdescParam = count ? params : nullptr;
        desc->funckind = FUNC_PUREVIRTUAL;
        desc->invkind = static_cast<INVOKEKIND>(method.flags);
        desc->callconv = method.convention;
        desc->cParams = static_cast<SHORT>(count);
        desc->oVft = static_cast<SHORT>(method.slot * sizeof(void*));
        desc->elemdescFunc.tdesc.vt = method.result_type;
        *description = desc;
        return S_OK;
    }
    void ReleaseFuncDesc(FUNCDESC* description) override { std::free(description); }

    HRESULT GetNames(MEMBERID member, BSTR* names, UINT max_names, UINT* count) override {
        if (!names || !count) return E_INVALIDARG;
        *count = 0;
        const Method* method = FindAny(member);
        if (!method) return TYPE_E_ELEMENTNOTFOUND;
        if (max_names == 0) return S_OK;
        names[0] = NewBstr(method->name);
        *count = 1;
        return S_OK;
    }

    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* members) override {
        if (!names || !members) return E_INVALIDARG;
        if (count == 0) return S_OK;
        for (UINT i = 0; i < count; ++i) members[i] = MEMBERID_NIL;
        for (const Method& method : m_methods) {
            if (names[0] && nb::EqualsIgnoringAsciiCase(method.name, names[0])) {
                members[0] = method.dispid;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;  // no named parameters
            }
        }
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT Invoke(PVOID instance, MEMBERID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO*, UINT* argument_error) override {
        if (!instance) return E_INVALIDARG;
        const Method* method = Find(member, flags);
        if (!method) return DISP_E_MEMBERNOTFOUND;
        const UINT argument_count = params ? params->cArgs : 0;
        if (argument_count != method->parameter_types.size()) return DISP_E_BADPARAMCOUNT;
        if (argument_error) *argument_error = 0;
        return CallSlot(instance, *method, params, result);
    }

    HRESULT GetDocumentation(MEMBERID member, BSTR* name, BSTR* doc_string, DWORD* help_context,
                             BSTR* help_file) override {
        if (doc_string) *doc_string = nullptr;
        if (help_context) *help_context = 0;
        if (help_file) *help_file = nullptr;
        if (member == MEMBERID_NIL) {  // the interface itself carries no name here
            if (name) *name = nullptr;
            return S_OK;
        }
        const Method* method = FindAny(member);
        if (!method) return TYPE_E_ELEMENTNOTFOUND;
        if (name) *name = NewBstr(method->name);
        return S_OK;
    }

    HRESULT GetRefTypeOfImplType(UINT, HREFTYPE*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetImplTypeFlags(UINT, INT*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT GetVarDesc(UINT, VARDESC**) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
    HRESULT AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
    HRESULT CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
    HRESULT GetMops(MEMBERID, BSTR* mops) override {
        if (mops) *mops = nullptr;
        return S_OK;
    }
    HRESULT GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
    void ReleaseVarDesc(VARDESC*) override {}

   private:
    std::size_t VtableBytes() const {
        UINT slots = 0;
        for (const Method& method : m_methods) slots = std::max(slots, method.slot + 1);
        return slots * sizeof(void*);
    }
    const Method* FindAny(MEMBERID member) const {
        for (const Method& method : m_methods)
            if (method.dispid == member) return &method;
        return nullptr;
    }
    const Method* Find(MEMBERID member, WORD flags) const {
        for (const Method& method : m_methods)
            if (method.dispid == member && (method.flags & flags)) return &method;
        return nullptr;
    }

    // The slot is a member function of the instance's interface; on this ABI
    // it takes the instance as its first argument.
    static HRESULT CallSlot(PVOID instance, const Method& method, DISPPARAMS* params,
                            VARIANT* result) {
        void* slot = (*static_cast<void***>(instance))[method.slot];
        switch (SignatureOf(method)) {
            case Signature::kGetVariant: {
                nb::Variant ignored;
                VARIANT* out = result ? result : &ignored;
                if (result) VariantInit(result);
                return reinterpret_cast<HRESULT (*)(PVOID, VARIANT*)>(slot)(instance, out);
            }
            case Signature::kPutVariant:
                return reinterpret_cast<HRESULT (*)(PVOID, VARIANT)>(slot)(instance,
                                                                           params->rgvarg[0]);
            case Signature::kCall:
                return reinterpret_cast<HRESULT (*)(PVOID)>(slot)(instance);
            case Signature::kUnsupported:
                break;
        }
        return DISP_E_BADCALLEE;
    }

    std::vector<Method> m_methods;
    LCID m_locale;
    std::atomic<ULONG> m_references{1};
};

}  // namespace

NB_API HRESULT CreateDispTypeInfo(INTERFACEDATA* description, LCID locale, ITypeInfo** info) {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (!description || (description->cMembers && !description->pmethdata)) return E_INVALIDARG;
    std::vector<Method> methods;
    for (UINT i = 0; i < description->cMembers; ++i) {
        const METHODDATA& data = description->pmethdata[i];
        if (data.cArgs && !data.ppdata) return E_INVALIDARG;
        Method method{data.szName ? data.szName : u"",
                      data.dispid,
                      data.iMeth,
                      data.cc,
                      data.wFlags,
                      data.vtReturn,
                      {}};
        for (UINT p = 0; p < data.cArgs; ++p) method.parameter_types.push_back(data.ppdata[p].vt);
        if (SignatureOf(method) == Signature::kUnsupported) return E_INVALIDARG;
        methods.push_back(std::move(method));
    }
    *info = new (std::nothrow) DescribedTypeInfo(std::move(methods), locale);
    return *info ? S_OK : E_OUTOFMEMORY;
}
