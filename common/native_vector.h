// Native vectors: copies of script arrays that native code and worker
// threads read without touching script objects; never handed to scripts.
//
// Layout: tag VT_VARIANT; each of the three reserved words holds the element
// count n; the value part points at a task-memory block of n + 1 variants
// (one spare), elements 0 to n - 1 in index order. Elements that were arrays
// are vectors in turn; the others are plain copies. VariantClear does not
// know this form and would leak it: clear with NB_VARIANT_CLEAR.
#pragma once

#include "platform/automation/variant.h"

// The reserved words are 16 bits, so longer arrays cannot be represented.
constexpr LONG NB_VECTOR_MAX_LENGTH = 65535;
// Arrays nested deeper than this are refused, which also stops an array
// that contains itself.
constexpr int NB_VECTOR_MAX_DEPTH = 32;

// Copies the script array into out, which must hold a valid variant and is
// cleared (NB_VARIANT_CLEAR) on success only. An element that cannot be read,
// or that is an object that cannot be read as an array, becomes VT_EMPTY.
// Returns the code of a failing length read, E_INVALIDARG for a negative
// length, more than NB_VECTOR_MAX_LENGTH elements or nesting beyond
// NB_VECTOR_MAX_DEPTH (at any level), E_OUTOFMEMORY after the allocation box;
// out is untouched on failure.
HRESULT NB_ARRAY_TOVECTOR(VARIANT* out, const VARIANT* array);

// Copies value into slot (which must hold nothing that needs clearing) the
// way native code keeps it: a VT_DISPATCH value as a native vector, anything
// else with VariantCopy. S_OK when copied; S_FALSE with slot VT_EMPTY when
// the value could not be copied (an object that cannot be read as an array,
// a tag VariantCopy refuses); E_INVALIDARG or E_OUTOFMEMORY as for
// NB_ARRAY_TOVECTOR, which must stop the whole copy.
HRESULT NbCopyToNative(VARIANT* slot, const VARIANT* value);

// The element count of a native vector. E_POINTER for a null value or
// count, E_INVALIDARG when value is not a native vector.
HRESULT NB_VECTOR_LENGTH(const VARIANT* value, LONG* count);
// Points element at element index of the vector, owned by the vector.
// E_POINTER for null pointers, E_INVALIDARG when vector is not a native
// vector, DISP_E_BADINDEX for an index outside 0..n-1.
HRESULT NB_VECTOR_GETELEMENT(const VARIANT* vector, LONG index, const VARIANT** element);

// Clears any variant and leaves it VT_EMPTY: a native vector frees its
// elements (nested vectors included) and its block; anything else goes to
// VariantClear, whose result is returned. E_POINTER for a null value.
HRESULT NB_VARIANT_CLEAR(VARIANT* value);

namespace nb {

// A variant that may hold a native vector and clears itself accordingly.
class NativeVariant : public VARIANT {
   public:
    NativeVariant() { VariantInit(this); }
    NativeVariant(const NativeVariant&) = delete;
    NativeVariant& operator=(const NativeVariant&) = delete;
    ~NativeVariant() { NB_VARIANT_CLEAR(this); }
};

}  // namespace nb
