// Script arrays: objects of the class NbJsArray (or a script's own arrays)
// holding elements named "0", "1", "2", ... and a "length" property. They are
// created, filled and read only on the thread that holds them.
#pragma once

#include "platform/automation/variant.h"

// Creates an empty NbJsArray into result, which must hold a valid variant
// (normally VT_EMPTY) and becomes VT_DISPATCH owning the one reference.
// E_POINTER for a null result. When the class cannot be created, shows
// "CoCreateInstance(CLSID_NbJsArray)" and returns E_FAIL, result untouched.
HRESULT NB_ARRAY_CREATE(VARIANT* result);

// Stores value as element index through IDispatchEx: the member is ensured,
// then put by reference when value carries VT_BYREF and by value otherwise.
// The caller keeps ownership of value. E_FAIL when array is not
// VT_DISPATCH, when its object has no IDispatchEx or when the member cannot
// be made or put; E_POINTER for a null array, object or value.
HRESULT NB_ARRAY_ADDELEMENT(const VARIANT* array, int index, const VARIANT* value);
// Stores a VT_BSTR copy of text (null text stores an empty string);
// E_OUTOFMEMORY when the copy cannot be made, else as NB_ARRAY_ADDELEMENT.
HRESULT NB_ARRAY_ADDSTRING(const VARIANT* array, int index, LPCWSTR text);
// Stores number as VT_I4, else as NB_ARRAY_ADDELEMENT.
HRESULT NB_ARRAY_ADDINT(const VARIANT* array, int index, LONG number);

// Reads "length" converted to VT_I4 into count. E_POINTER for a null count,
// array or object, E_FAIL when array is not VT_DISPATCH; a failing lookup,
// call or conversion returns its own code with count unchanged.
HRESULT NB_ARRAY_GETLENGTH(const VARIANT* array, LONG* count);
// Copies element index into element (VariantCopy: element must hold a valid
// variant and is cleared first). Errors as NB_ARRAY_GETLENGTH, with element
// left as it was when the lookup or call fails.
HRESULT NB_ARRAY_GETELEMENT(const VARIANT* array, LONG index, VARIANT* element);
