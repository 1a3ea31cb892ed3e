// The automation interfaces with their method order (the vtable slot order is
// part of the binary contract between modules), their identifiers, and the
// dispatch constants.
#pragma once

#include "platform/automation/variant.h"

#define NB_INTERFACE(name) \
   protected:              \
    ~name() = default;     \
                           \
   public:

struct ITypeInfo;
struct ITypeComp;
struct ITypeLib;
struct IServiceProvider;
struct VARDESC;

struct IUnknown {
    NB_INTERFACE(IUnknown)
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IDispatch : IUnknown {
    NB_INTERFACE(IDispatch)
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                  DISPID* dispids) = 0;
    virtual HRESULT Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argument_error) = 0;
};

struct IDispatchEx : IDispatch {
    NB_INTERFACE(IDispatchEx)
    virtual HRESULT GetDispID(BSTR name, DWORD flags, DISPID* dispid) = 0;
    virtual HRESULT InvokeEx(DISPID dispid, LCID locale, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* exception, IServiceProvider* caller) = 0;
    virtual HRESULT DeleteMemberByName(BSTR name, DWORD flags) = 0;
    virtual HRESULT DeleteMemberByDispID(DISPID dispid) = 0;
    virtual HRESULT GetMemberProperties(DISPID dispid, DWORD fetch, DWORD* properties) = 0;
    virtual HRESULT GetMemberName(DISPID dispid, BSTR* name) = 0;
    virtual HRESULT GetNextDispID(DWORD flags, DISPID dispid, DISPID* next) = 0;
    virtual HRESULT GetNameSpaceParent(IUnknown** parent) = 0;
};

struct ISupportErrorInfo : IUnknown {
    NB_INTERFACE(ISupportErrorInfo)
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;
};

struct IClassFactory : IUnknown {
    NB_INTERFACE(IClassFactory)
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;
};

struct IServiceProvider : IUnknown {
    NB_INTERFACE(IServiceProvider)
    virtual HRESULT QueryService(REFGUID service, REFIID iid, void** object) = 0;
};

// Type descriptions, as far as the automation layer fills them in.
enum TYPEKIND : INT {
    TKIND_ENUM,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION
};
enum FUNCKIND : INT { FUNC_VIRTUAL, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum INVOKEKIND : INT {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8,
};
enum CALLCONV : INT {
    CC_FASTCALL,
    CC_CDECL,
    CC_MSCPASCAL,
    CC_MACPASCAL = CC_MSCPASCAL,
    CC_STDCALL = 4
};

struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};
struct IDLDESC {
    ULONG_PTR dwReserved;
    USHORT wIDLFlags;
};
struct PARAMDESC {
    PVOID pparamdescex;
    USHORT wParamFlags;
};
struct ELEMDESC {
    TYPEDESC tdesc;
    union {
        IDLDESC idldesc;
        PARAMDESC paramdesc;
    };
};
struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};
struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
};

struct ITypeInfo : IUnknown {
    NB_INTERFACE(ITypeInfo)
    virtual HRESULT GetTypeAttr(TYPEATTR** attributes) = 0;
    virtual HRESULT GetTypeComp(ITypeComp** comp) = 0;
    virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** description) = 0;
    virtual HRESULT GetVarDesc(UINT index, VARDESC** description) = 0;
    virtual HRESULT GetNames(MEMBERID member, BSTR* names, UINT max_names, UINT* count) = 0;
    virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* reference) = 0;
    virtual HRESULT GetImplTypeFlags(UINT index, INT* flags) = 0;
    virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* members) = 0;
    virtual HRESULT Invoke(PVOID instance, MEMBERID member, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT* argument_error) = 0;
    virtual HRESULT GetDocumentation(MEMBERID member, BSTR* name, BSTR* doc_string,
                                     DWORD* help_context, BSTR* help_file) = 0;
    virtual HRESULT GetDllEntry(MEMBERID member, INVOKEKIND kind, BSTR* dll_name, BSTR* name,
                                WORD* ordinal) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE reference, ITypeInfo** info) = 0;
    virtual HRESULT AddressOfMember(MEMBERID member, INVOKEKIND kind, PVOID* address) = 0;
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, PVOID* object) = 0;
    virtual HRESULT GetMops(MEMBERID member, BSTR* mops) = 0;
    virtual HRESULT GetContainingTypeLib(ITypeLib** library, UINT* index) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* attributes) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* description) = 0;
    virtual void ReleaseVarDesc(VARDESC* description) = 0;
};

constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_ITypeInfo = {
    0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
constexpr IID IID_IServiceProvider = {
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};

// Invoke flags.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;
constexpr WORD DISPATCH_CONSTRUCT = 0x4000;

// Reserved DISPIDs.
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr DISPID DISPID_EVALUATE = -5;
constexpr DISPID DISPID_CONSTRUCTOR = -6;
constexpr DISPID DISPID_DESTRUCTOR = -7;
constexpr DISPID DISPID_THIS = -613;
constexpr DISPID DISPID_STARTENUM = -1;
constexpr MEMBERID MEMBERID_NIL = -1;

// IDispatchEx name and enumeration flags.
constexpr DWORD fdexNameCaseSensitive = 0x1;
constexpr DWORD fdexNameEnsure = 0x2;
constexpr DWORD fdexNameImplicit = 0x4;
constexpr DWORD fdexNameCaseInsensitive = 0x8;
constexpr DWORD fdexEnumDefault = 0x1;
constexpr DWORD fdexEnumAll = 0x2;

// IDispatchEx member properties.
constexpr DWORD fdexPropCanGet = 0x1;
constexpr DWORD fdexPropCannotGet = 0x2;
constexpr DWORD fdexPropCanPut = 0x4;
constexpr DWORD fdexPropCannotPut = 0x8;
constexpr DWORD fdexPropCanPutRef = 0x10;
constexpr DWORD fdexPropCannotPutRef = 0x20;
constexpr DWORD fdexPropNoSideEffects = 0x40;
constexpr DWORD fdexPropDynamicType = 0x80;
constexpr DWORD fdexPropCanCall = 0x100;
constexpr DWORD fdexPropCannotCall = 0x200;
constexpr DWORD fdexPropCanConstruct = 0x400;
constexpr DWORD fdexPropCannotConstruct = 0x800;
constexpr DWORD fdexPropCanSourceEvents = 0x1000;
constexpr DWORD fdexPropCannotSourceEvents = 0x2000;

// Type information built from a description instead of a registered type
// library. Each method names the vtable slot (iMeth) that Invoke calls.
// Supported signatures: HRESULT(VARIANT* out) for a property get,
// HRESULT(VARIANT in) for a property put, HRESULT() for a method.
struct PARAMDATA {
    OLECHAR* szName;
    VARTYPE vt;
};
struct METHODDATA {
    OLECHAR* szName;
    PARAMDATA* ppdata;
    DISPID dispid;
    UINT iMeth;
    CALLCONV cc;
    UINT cArgs;
    WORD wFlags;
    VARTYPE vtReturn;
};
struct INTERFACEDATA {
    METHODDATA* pmethdata;
    UINT cMembers;
};

// Builds type information of kind TKIND_INTERFACE with no base interface.
// The description is copied. E_INVALIDARG for a signature outside the
// supported set.
NB_API HRESULT CreateDispTypeInfo(INTERFACEDATA* description, LCID locale, ITypeInfo** info);
