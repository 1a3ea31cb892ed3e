// Names the character set of text content that starts with a byte order mark.
#pragma once

#include <string>
#include <string_view>

namespace nb::server {

// The character set named by the byte order mark at the start of data, or
// empty. When several marks match (FF FE and FF FE 00 00) the longer,
// later one wins.
std::u16string_view CharsetForData(std::string_view data);

// content_type + "; charset=" + name for a "text/" type whose data starts
// with a mark; an unchanged copy otherwise. The data keeps its mark.
std::u16string TypedContentType(std::u16string_view content_type, std::string_view data);

}  // namespace nb::server
