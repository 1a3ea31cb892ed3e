// EX_SetRegVal(root, subKey, valueName, data, valueType): stores a number
// (4010, REG_DWORD), a text (4011, REG_SZ) or a script array of texts (4012,
// REG_MULTI_SZ), creating the key when it is missing.
#include <string>
#include <vector>

#include "common/error_report.h"
#include "common/script_array.h"
#include "external/frame/export.h"
#include "external/storage/registry_call.h"
#include "external/storage/registry_values.h"
#include "platform/automation/com_ptr.h"

namespace nb::external {
namespace {

constexpr NbArgumentKind kKinds[] = {NbArgumentKind::Integer, NbArgumentKind::String,
                                     NbArgumentKind::String};
constexpr UINT kDataIndex = 3;
constexpr UINT kTypeIndex = 4;
constexpr LONG kTypeNumber = 4010;
constexpr LONG kTypeText = 4011;
constexpr LONG kTypeTexts = 4012;
constexpr LPCWSTR kMessageSetText = u"Catastrophic: Cannot set string ValData";

// A script array read as the texts of a REG_MULTI_SZ value. The array is read
// once, during the kind checks, and a read failure is reported where the
// value is built, after the root and key checks.
struct TextList {
    enum class Status { kRead, kNotText, kNoLength, kNoElement };
    Status status = Status::kRead;
    std::vector<std::u16string> texts;
};

// Every element must be a string argument (VT_NULL is the empty text); any
// other element is a type mismatch rather than text read from something else.
TextList ReadTextList(const VARIANT& array) {
    TextList list;
    LONG length = 0;
    if (FAILED(NB_ARRAY_GETLENGTH(&array, &length)) || length < 0) {
        list.status = TextList::Status::kNoLength;
        return list;
    }
    for (LONG index = 0; index < length; ++index) {
        Variant element;
        if (FAILED(NB_ARRAY_GETELEMENT(&array, index, &element))) {
            list.status = TextList::Status::kNoElement;
            return list;
        }
        if (!NbIsStringArgument(element)) {
            list.status = TextList::Status::kNotText;
            return list;
        }
        const LPCWSTR text = NbReadString(element);
        list.texts.emplace_back(text ? text : u"");
    }
    return list;
}

bool HasDataOfType(const VARIANT& data, LONG type, const TextList& list) {
    switch (type) {
        case kTypeNumber:
            return NbIsIntegerArgument(data);
        case kTypeText:
            return NbIsStringArgument(data);
        default:
            return NbIsArrayArgument(data) && list.status != TextList::Status::kNotText;
    }
}

HRESULT SetValue(const ExCall& call, HKEY key, DWORD type, const std::vector<BYTE>& bytes,
                 LPCWSTR failure) {
    if (RegSetValueExW(key, ValueNameArgument(call), 0, type, bytes.data(),
                       static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS)
        return call.Fail(kRegistryErrorSetValue, failure);
    return S_OK;
}

HRESULT SetTexts(const ExCall& call, HKEY key, const TextList& list) {
    if (list.status == TextList::Status::kNoLength)
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, u"Catastrophic: Cannot get array length");
    if (list.status == TextList::Status::kNoElement)
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, u"Catastrophic: Cannot get array string element");
    return SetValue(call, key, REG_MULTI_SZ, MultiTextBytes(list.texts), kMessageSetText);
}

// The kind checks past the count: the type code an integer of the known
// three, then the data of the kind the type needs.
HRESULT CheckTypeAndData(const ExCall& call, LONG& type, TextList& list) {
    if (!NbIsIntegerArgument(call.Argument(kTypeIndex)))
        return call.Fail(NB_ERROR_TYPE_MISMATCH, NB_MESSAGE_TYPE_MISMATCH);
    type = static_cast<LONG>(*NbReadInteger(call.Argument(kTypeIndex)));
    if (type != kTypeNumber && type != kTypeText && type != kTypeTexts)
        return call.Fail(NB_ERROR_ARGUMENT_VALUE, u"Catastrophic: Invalid ValType");
    const VARIANT& data = call.Argument(kDataIndex);
    if (type == kTypeTexts && NbIsArrayArgument(data)) list = ReadTextList(data);
    if (!HasDataOfType(data, type, list))
        return call.Fail(NB_ERROR_TYPE_MISMATCH, NB_MESSAGE_TYPE_MISMATCH);
    return S_OK;
}

HRESULT SetData(const ExCall& call, HKEY key, LONG type, const TextList& list) {
    const VARIANT& data = call.Argument(kDataIndex);
    switch (type) {
        case kTypeNumber:
            return SetValue(call, key, REG_DWORD,
                            NumberBytes(static_cast<DWORD>(*NbReadInteger(data))),
                            u"Catastrophic: Cannot set numeric ValData");
        case kTypeText: {
            // A null text is stored as the empty text.
            const LPCWSTR text = NbReadString(data);
            return SetValue(call, key, REG_SZ, TextBytes(text ? text : u""), kMessageSetText);
        }
        default:
            return SetTexts(call, key, list);
    }
}

HRESULT SetRegVal(const ExCall& call) {
    if (HRESULT checked = call.CheckArguments(5, 5, kKinds); FAILED(checked)) return checked;
    LONG type = 0;
    TextList list;
    if (HRESULT checked = CheckTypeAndData(call, type, list); FAILED(checked)) return checked;
    UniqueKey root;
    if (HRESULT opened = OpenCallRoot(call, root); FAILED(opened)) return opened;
    UniqueKey key;
    if (RegCreateKeyExW(root.Get(), SubKeyArgument(call), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return call.Fail(kRegistryErrorCreateSubKey, u"Catastrophic: Cannot create SubKey");
    return SetData(call, key.Get(), type, list);
}

}  // namespace
}  // namespace nb::external

NB_DEFINE_EX_FUNCTION(SetRegVal, nb::external::SetRegVal);
