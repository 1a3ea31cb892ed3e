// VARIANT, BSTR, DISPPARAMS and EXCEPINFO with the Win64 layouts, and the
// functions that create, copy, clear and convert them.
#pragma once

#include "platform/automation/wintypes.h"

struct IUnknown;
struct IDispatch;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct CY {
    LONGLONG int64;
};

// A user-defined record; not used by the system, but it sets the size.
struct BRECORD {
    PVOID pvRecord;
    PVOID pRecInfo;
};

// 24 bytes as on Win64: the tag, three reserved words, then 16 bytes of value.
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        BRECORD brecVal;
    };
};
using VARIANTARG = VARIANT;

static_assert(sizeof(VARIANT) == 24, "VARIANT must keep the Win64 layout");
static_assert(offsetof(VARIANT, lVal) == 8, "VARIANT value starts after four words");

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

// VariantChangeType flags.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;

// BSTR: a 32-bit byte count, the UTF-16 text, then a zero unit. The BSTR
// points at the text. A null BSTR is a valid empty string.
NB_API BSTR SysAllocString(const OLECHAR* text);
NB_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
NB_API BSTR SysAllocStringByteLen(const char* bytes, UINT length);
NB_API void SysFreeString(BSTR text);
NB_API UINT SysStringLen(BSTR text);
NB_API UINT SysStringByteLen(BSTR text);

NB_API void VariantInit(VARIANT* value);
// Frees what the value owns (string, interface reference) and leaves it
// VT_EMPTY. By-reference values own nothing. DISP_E_BADVARTYPE for tags
// outside the data model, which are left untouched.
NB_API HRESULT VariantClear(VARIANT* value);
// Clears the destination, then copies: strings duplicated, interfaces
// add-referenced, by-reference values copied as pointers.
NB_API HRESULT VariantCopy(VARIANT* destination, const VARIANT* source);
// Converts between the empty, integer, floating-point, boolean, string and
// dispatch (through its value property) kinds. In place when destination
// equals source. DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW on failure, with the
// destination unchanged.
NB_API HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, USHORT flags,
                                 VARTYPE type);
NB_API HRESULT VarBstrFromI4(LONG value, LCID locale, ULONG flags, BSTR* out);
