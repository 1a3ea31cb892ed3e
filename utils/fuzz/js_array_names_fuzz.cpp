// Drives one script array with a sequence of name operations read from the
// input and checks every answer against a plain model: members in creation
// order, searched linearly, with DISPIDs that never change and a length
// recomputed from the live numeric names.
#include <locale.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "utils/js_array.h"
#include "utils/module_lock.h"

namespace {

constexpr std::size_t kMaxOperations = 4000;
constexpr DISPID kLength = 1;

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

class Input {
   public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_position >= m_size; }
    std::uint8_t Byte() { return Empty() ? 0 : m_data[m_position++]; }
    std::uint32_t Word() {
        std::uint32_t word = 0;
        for (int i = 0; i < 4; ++i) word = (word << 8) | Byte();
        return word;
    }

   private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// Case-insensitive equality as a zero-terminated compare of lower-cased code
// points, written out directly rather than through the array's index.
class Lowering {
   public:
    Lowering() : m_locale(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {}
    ~Lowering() {
        if (m_locale) freelocale(m_locale);
    }
    std::u32string Lower(std::u16string_view text) const {
        std::u32string out;
        for (std::size_t i = 0; i < text.size() && text[i] != 0; ++i) {
            char32_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            const auto lower = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), m_locale));
            out.push_back(lower <= 0x10FFFF ? lower : c);
        }
        return out;
    }

   private:
    locale_t m_locale;
};

struct ModelMember {
    std::u16string name;
    DISPID dispid;
    bool built_in;
    bool deleted = false;
    std::optional<LONG> value;
};

class Model {
   public:
    Model() { m_members.push_back({u"length", kLength, true, false, std::nullopt}); }

    ModelMember* Find(std::u16string_view name, DWORD flags) {
        const bool exact = flags & fdexNameCaseSensitive;
        const std::u32string lowered = exact ? std::u32string() : m_lowering.Lower(name);
        for (ModelMember& member : m_members)
            if (exact ? member.name == name : m_lowering.Lower(member.name) == lowered)
                return &member;
        return nullptr;
    }
    ModelMember* Find(DISPID dispid) {
        for (ModelMember& member : m_members)
            if (member.dispid == dispid) return &member;
        return nullptr;
    }
    DISPID Add(std::u16string_view name) {
        m_members.push_back({std::u16string(name), m_next, false, false, std::nullopt});
        return m_next++;
    }
    std::vector<ModelMember>& Members() { return m_members; }

    static std::optional<std::uint32_t> Number(const std::u16string& name) {
        std::uint32_t number = 0;
        for (char16_t unit : name) {
            if (unit < u'0' || unit > u'9') return std::nullopt;
            number = number * 10 + (unit - u'0');
        }
        return number;
    }
    LONG Length() const {
        std::uint32_t best = 0;
        for (const ModelMember& member : m_members) {
            if (member.deleted || member.built_in) continue;
            const auto number = Number(member.name);
            if (number && *number >= best) best = *number + 1;
        }
        return static_cast<LONG>(best);
    }
    void Truncate(LONG length) {
        for (ModelMember& member : m_members) {
            if (member.deleted || member.built_in) continue;
            const auto number = Number(member.name);
            if (number && *number >= static_cast<std::uint32_t>(length)) Delete(member);
        }
    }
    static void Delete(ModelMember& member) {
        member.deleted = true;
        member.value.reset();
    }

   private:
    Lowering m_lowering;
    std::vector<ModelMember> m_members;
    DISPID m_next = 2;
};

constexpr char16_t kAlphabet[] = {
    u'a',  u'A',      u'l',      u'L',      u'e',      u'n',      u'g',      u't',
    u'h',  u'H',      u'0',      u'1',      u'9',      u'-',      u'+',      u' ',
    u'\0', u'\u00E0', u'\u00C0', u'\u03C3', u'\u03A3', u'\u03C2', u'\u212A', u'k',
    u'K',  u'\u0130', u'i',      0xD801,    0xDC00,    0xDC28,    u'\uFF21', u'\uFF41'};

std::u16string Decimal(std::uint32_t number, std::size_t zeros) {
    std::u16string text(zeros, u'0');
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
        number /= 10;
    } while (number);
    return text + digits;
}

std::u16string FlipCase(std::u16string name, Input& in) {
    for (char16_t& unit : name)
        if ((in.Byte() & 1) && (unit | 0x20) >= u'a' && (unit | 0x20) <= u'z')
            unit = static_cast<char16_t>(unit ^ 0x20);
    return name;
}

std::u16string MakeName(Input& in, Model& model) {
    switch (in.Byte() % 8) {
        case 0:
            return Decimal(in.Byte() % 16, 0);
        case 1:
            return Decimal(in.Word(), 0);
        case 2: {
            const std::uint32_t number = in.Byte() % 16;
            return Decimal(number, in.Byte() % 4);
        }
        case 3:
            return std::u16string();
        case 4: {
            std::u16string huge;
            for (std::size_t n = 10 + in.Byte() % 30; n > 0; --n)
                huge.push_back(static_cast<char16_t>(u'0' + in.Byte() % 10));
            return huge;
        }
        case 5: {
            std::u16string text;
            for (std::size_t n = in.Byte() % 7; n > 0; --n)
                text.push_back(kAlphabet[in.Byte() % std::size(kAlphabet)]);
            return text;
        }
        case 6:
            return FlipCase(u"length", in);
        default: {
            auto& members = model.Members();
            return FlipCase(members[in.Byte() % members.size()].name, in);
        }
    }
}

DISPID PickDispid(Input& in, Model& model) {
    const std::uint8_t choice = in.Byte();
    auto& members = model.Members();
    if (choice < 224) return members[choice % members.size()].dispid;
    const DISPID odd[] = {DISPID_STARTENUM, 0, -613, 100000, static_cast<DISPID>(in.Word())};
    return odd[choice % std::size(odd)];
}

VARIANT I4(LONG value) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
}

class Driver {
   public:
    explicit Driver(INbJsArray* array) : m_array(array) {}

    void Run(Input& in) {
        for (std::size_t n = 0; n < kMaxOperations && !in.Empty(); ++n) Step(in);
        CheckLength();
        CheckEnumeration(fdexEnumDefault);
        CheckEnumeration(fdexEnumAll);
    }

   private:
    void Step(Input& in) {
        switch (in.Byte() % 10) {
            case 0:
                GetDispID(MakeName(in, m_model), in.Byte() & 0xF);
                break;
            case 1:
                Put(PickDispid(in, m_model), static_cast<LONG>(in.Word()));
                break;
            case 2:
                DeleteByName(MakeName(in, m_model), in.Byte() & 0xF);
                break;
            case 3:
                DeleteByDispid(PickDispid(in, m_model));
                break;
            case 4:
                CheckLength();
                break;
            case 5:
                PutLength(in);
                break;
            case 6:
                CheckEnumeration(in.Byte() % 4);
                break;
            case 7:
                CheckName(PickDispid(in, m_model));
                break;
            case 8:
                CheckValue(PickDispid(in, m_model));
                break;
            default:
                CheckIDsOfNames(MakeName(in, m_model));
                break;
        }
    }

    void GetDispID(const std::u16string& name, DWORD flags) {
        nb::Bstr text(name);
        DISPID dispid = 12345;
        const HRESULT hr = m_array->GetDispID(text.Get(), flags, &dispid);
        ModelMember* member = m_model.Find(name, flags);
        if (member && (!member->deleted || (flags & fdexNameEnsure))) {
            Check(hr == S_OK && dispid == member->dispid, "GetDispID finds the same member");
        } else if (!member && (flags & fdexNameEnsure)) {
            Check(hr == S_OK && dispid == m_model.Add(name), "new members take the next DISPID");
        } else {
            Check(hr == DISP_E_UNKNOWNNAME && dispid == DISPID_UNKNOWN, "unknown names fail");
        }
    }

    void CheckIDsOfNames(std::u16string name) {
        LPOLESTR names[] = {name.data()};
        DISPID dispid = 12345;
        const HRESULT hr = m_array->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid);
        // The array sees the name only up to its first zero unit.
        ModelMember* member = m_model.Find(name.c_str(), fdexNameCaseInsensitive);
        if (member && !member->deleted)
            Check(hr == S_OK && dispid == member->dispid, "GetIDsOfNames finds the member");
        else
            Check(hr == DISP_E_UNKNOWNNAME && dispid == DISPID_UNKNOWN, "GetIDsOfNames fails");
    }

    void Put(DISPID dispid, LONG value) {
        VARIANT argument = I4(value);
        DISPID put_name = DISPID_PROPERTYPUT;
        DISPPARAMS params{&argument, &put_name, 1, 1};
        const HRESULT hr =
            m_array->InvokeEx(dispid, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
        ModelMember* member = m_model.Find(dispid);
        if (!member) return Check(hr == DISP_E_MEMBERNOTFOUND, "put to a missing member fails");
        Check(hr == S_OK, "put succeeds");
        if (member->built_in) return m_model.Truncate(value);
        member->deleted = false;
        member->value = value;
    }

    void PutLength(Input& in) {
        if (in.Byte() & 1) {
            VARIANT fraction;
            VariantInit(&fraction);
            fraction.vt = VT_R8;
            fraction.dblVal = 1.5;
            Check(m_array->put_length(fraction) == E_FAIL, "length takes VT_I4 only");
            return;
        }
        const auto length = static_cast<LONG>(in.Word());
        Check(m_array->put_length(I4(length)) == S_OK, "length put succeeds");
        m_model.Truncate(length);
    }

    void DeleteByName(const std::u16string& name, DWORD flags) {
        nb::Bstr text(name);
        Delete(m_array->DeleteMemberByName(text.Get(), flags), m_model.Find(name, flags));
    }
    void DeleteByDispid(DISPID dispid) {
        Delete(m_array->DeleteMemberByDispID(dispid), m_model.Find(dispid));
    }
    void Delete(HRESULT hr, ModelMember* member) {
        if (!member) return Check(hr == S_OK, "deleting nothing succeeds");
        if (member->built_in) return Check(hr == S_FALSE, "built-ins stay");
        Check(hr == S_OK, "delete succeeds");
        Model::Delete(*member);
    }

    void CheckLength() {
        nb::Variant length;
        Check(m_array->get_length(&length) == S_OK && length.vt == VT_I4, "length is VT_I4");
        Check(length.lVal == m_model.Length(), "length follows the numeric names");
    }

    void CheckEnumeration(DWORD flags) {
        std::vector<DISPID> expected;
        for (const ModelMember& member : m_model.Members())
            if (!member.deleted && (!member.built_in || flags == fdexEnumAll))
                expected.push_back(member.dispid);
        std::vector<DISPID> seen;
        DISPID dispid = DISPID_STARTENUM;
        while (m_array->GetNextDispID(flags, dispid, &dispid) == S_OK) seen.push_back(dispid);
        Check(dispid == 0 && seen == expected, "enumeration follows creation order");
    }

    void CheckName(DISPID dispid) {
        nb::Bstr name;
        const HRESULT hr = m_array->GetMemberName(dispid, name.Put());
        const ModelMember* member = m_model.Find(dispid);
        if (!member || member->deleted)
            return Check(hr == DISP_E_MEMBERNOTFOUND && !name.Get(), "no name for missing members");
        Check(hr == S_OK && name.View() == member->name, "names are kept exactly");
    }

    void CheckValue(DISPID dispid) {
        nb::Variant value;
        DISPPARAMS none{};
        const HRESULT hr =
            m_array->InvokeEx(dispid, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
        const ModelMember* member = m_model.Find(dispid);
        if (!member) return Check(hr == DISP_E_MEMBERNOTFOUND, "get of a missing member fails");
        Check(hr == S_OK, "get succeeds");
        if (member->built_in) return Check(value.lVal == m_model.Length(), "length reads alike");
        Check(member->value ? value.vt == VT_I4 && value.lVal == *member->value
                            : value.vt == VT_EMPTY,
              "values read back");
    }

    INbJsArray* m_array;
    Model m_model;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    INbJsArray* array = nullptr;
    Check(nb::utils::CNbJsArray::CreateInstance(IID_INbJsArray, reinterpret_cast<void**>(&array)) ==
              S_OK,
          "the array is created");
    {
        Input in(data, size);
        Driver(array).Run(in);
    }
    Check(array->Release() == 0, "nothing else holds the array");
    Check(!nb::utils::IsModuleLocked(), "the module is free again");
    return 0;
}
