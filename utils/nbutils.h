// Public identifiers of the utilities module: the script array class, its
// interface and its type library.
#pragma once

#include "platform/automation/interfaces.h"

constexpr CLSID CLSID_NbJsArray = {
    0x83803D9F, 0x884B, 0x4C1D, {0x9A, 0x48, 0x17, 0xEA, 0xCD, 0xED, 0x05, 0xA3}};
constexpr IID IID_INbJsArray = {
    0x3C665FBD, 0x6DAC, 0x4A7A, {0xAC, 0x35, 0x1A, 0xEB, 0x64, 0x9B, 0xD9, 0x12}};
constexpr GUID LIBID_NBUTILSLib = {
    0x5C1742AB, 0x508F, 0x4CF3, {0xAC, 0xCD, 0x29, 0xF3, 0xDE, 0x89, 0xC1, 0xBB}};

// A script array: an expando dispatch object whose only built-in member,
// `length` (DISPID 1), is one more than the largest numeric member name.
// Elements are members named "0", "1", "2", ...
struct INbJsArray : IDispatchEx {
    NB_INTERFACE(INbJsArray)
    // VT_I4 length; never fails for a valid pointer.
    virtual HRESULT get_length(VARIANT* length) = 0;
    // Deletes every numeric member whose number is not below the new length.
    // E_FAIL unless the value is VT_I4.
    virtual HRESULT put_length(VARIANT length) = 0;
};
