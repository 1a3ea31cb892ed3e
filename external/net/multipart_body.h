// The multipart/form-data body of an upload, byte for byte: for file i of n
// a part header, the file's bytes and CR LF; after the last file the closing
// delimiter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nb::external::net {

// "---------------------------nb" and 11 lower-case hexadecimal digits drawn
// at random: 40 characters.
std::string MakeBoundary();

// "--B\r\nContent-Disposition: form-data; name=\"file000\";
// filename=\"<path>\"\r\nContent-Type: <type>\r\n\r\n", in UTF-8. The field
// name is "file" and the index in at least three digits. The path goes in
// whole; the three characters that would end the quoted text or the line
// (", CR, LF) go as %22, %0D and %0A, as browsers send them.
std::string PartHeader(std::string_view boundary, std::size_t index, std::string_view path,
                       std::string_view content_type);

inline constexpr std::string_view kPartEnd = "\r\n";

// "--B--\r\n"
std::string ClosingDelimiter(std::string_view boundary);

// The bytes one file adds to the body: its header, its bytes, CR LF.
inline std::uint64_t PartBytes(const std::string& header, std::uint64_t file_bytes) {
    return header.size() + file_bytes + kPartEnd.size();
}

}  // namespace nb::external::net
