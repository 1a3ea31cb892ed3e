// Script array: storing and reading back 10000 elements the way native code
// does (GetDispID with ensure and a property put; GetIDsOfNames and a
// property get), beside two references measured in the same run: a hash map
// from name to value, and the flat table searched linearly that the array
// would be without its indexes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/text/ascii_case.h"
#include "utils/js_array.h"

namespace {

constexpr int kElements = 10000;
constexpr int kRepeats = 5;

using Clock = std::chrono::steady_clock;

struct Names {
    std::vector<std::u16string> texts;
    std::vector<nb::Bstr> bstrs;
};

Names MakeNames() {
    Names names;
    for (int i = 0; i < kElements; ++i) {
        std::string digits = std::to_string(i);
        names.texts.emplace_back(digits.begin(), digits.end());
        names.bstrs.emplace_back(names.texts.back());
    }
    return names;
}

VARIANT I4(LONG value) {
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
}

// The fastest of several runs of fill and read, in milliseconds.
struct Timing {
    double fill_ms = 1e300;
    double read_ms = 1e300;
};

template <typename Work>
Timing Measure(Work work) {
    Timing best;
    for (int repeat = 0; repeat < kRepeats; ++repeat) {
        Timing run = work();
        best.fill_ms = std::min(best.fill_ms, run.fill_ms);
        best.read_ms = std::min(best.read_ms, run.read_ms);
    }
    return best;
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long g_checksum = 0;

Timing ArrayRun(const Names& names) {
    INbJsArray* array = nullptr;
    nb::utils::CNbJsArray::CreateInstance(IID_INbJsArray, reinterpret_cast<void**>(&array));
    Timing timing;
    auto start = Clock::now();
    for (int i = 0; i < kElements; ++i) {
        DISPID dispid = DISPID_UNKNOWN;
        array->GetDispID(names.bstrs[i].Get(), fdexNameEnsure, &dispid);
        VARIANT value = I4(i);
        DISPID put_name = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &put_name, 1, 1};
        array->InvokeEx(dispid, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                        nullptr, nullptr);
    }
    timing.fill_ms = MillisecondsSince(start);
    start = Clock::now();
    for (int i = 0; i < kElements; ++i) {
        LPOLESTR name = names.bstrs[i].Get();
        DISPID dispid = DISPID_UNKNOWN;
        array->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &dispid);
        nb::Variant value;
        DISPPARAMS none{};
        array->Invoke(dispid, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                      nullptr, nullptr);
        g_checksum += value.lVal;
    }
    timing.read_ms = MillisecondsSince(start);
    array->Release();
    return timing;
}

Timing HashMapRun(const Names& names) {
    Timing timing;
    std::unordered_map<std::u16string, VARIANT> map;
    auto start = Clock::now();
    for (int i = 0; i < kElements; ++i) {
        VARIANT value = I4(i);
        auto [slot, added] = map.try_emplace(std::u16string(names.bstrs[i].View()));
        if (added) VariantInit(&slot->second);
        VariantCopy(&slot->second, &value);
    }
    timing.fill_ms = MillisecondsSince(start);
    start = Clock::now();
    for (int i = 0; i < kElements; ++i) {
        nb::Variant value;
        VariantCopy(&value, &map.find(std::u16string(names.bstrs[i].View()))->second);
        g_checksum += value.lVal;
    }
    timing.read_ms = MillisecondsSince(start);
    for (auto& entry : map) VariantClear(&entry.second);
    return timing;
}

// Each member grows the table by one slot and every lookup scans from the start.
Timing LinearTableRun(const Names& names) {
    Timing timing;
    std::vector<std::pair<std::u16string, VARIANT>> table;
    const auto find = [&table](std::u16string_view name) -> VARIANT* {
        for (auto& entry : table)
            if (nb::EqualsIgnoringAsciiCase(entry.first, name)) return &entry.second;
        return nullptr;
    };
    auto start = Clock::now();
    for (int i = 0; i < kElements; ++i) {
        VARIANT* slot = find(names.bstrs[i].View());
        if (!slot) {
            table.reserve(table.size() + 1);
            table.emplace_back(names.bstrs[i].View(), VARIANT{});
            slot = &table.back().second;
        }
        VARIANT value = I4(i);
        VariantCopy(slot, &value);
    }
    timing.fill_ms = MillisecondsSince(start);
    start = Clock::now();
    for (int i = 0; i < kElements; ++i) {
        nb::Variant value;
        VariantCopy(&value, find(names.bstrs[i].View()));
        g_checksum += value.lVal;
    }
    timing.read_ms = MillisecondsSince(start);
    for (auto& entry : table) VariantClear(&entry.second);
    return timing;
}

void PrintRow(const char* name, const Timing& timing, const Timing& reference) {
    std::printf("%-28s %10.3f %8.2f %10.3f %8.2f\n", name, timing.fill_ms,
                timing.fill_ms / reference.fill_ms, timing.read_ms,
                timing.read_ms / reference.read_ms);
}

}  // namespace

int main() {
    const Names names = MakeNames();
    const Timing reference = Measure([&] { return HashMapRun(names); });
    const Timing array = Measure([&] { return ArrayRun(names); });
    const Timing linear = Measure([&] { return LinearTableRun(names); });
    std::printf("%d elements, best of %d runs; ratio = time / unordered_map time\n", kElements,
                kRepeats);
    std::printf("%-28s %10s %8s %10s %8s\n", "", "fill ms", "ratio", "read ms", "ratio");
    PrintRow("unordered_map (reference)", reference, reference);
    PrintRow("CNbJsArray", array, reference);
    PrintRow("flat table, linear search", linear, reference);
    std::printf("checksum %ld\n", g_checksum);
    return 0;
}
