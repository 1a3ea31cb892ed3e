// Key presses as GDK reports them, in the terms accelerator records use.
#pragma once

#include <cstdint>

namespace nb::shell {

// The virtual key of an unshifted GDK keyval (the key's first level), or 0
// for a key no record can name.
std::uint16_t VirtualKeyFromKeyval(unsigned keyval);
// The record's modifier flags (control, alt, shift) held in a GDK modifier
// state.
std::uint8_t ModifierFlags(unsigned state);

}  // namespace nb::shell
