// How the functions read a server's answer: the header block of the final
// response as the server wrote it, and the body as text.
#pragma once

#include <string>
#include <string_view>

namespace nb::external::net {

// The body as script text: UTF-16LE when it starts with the bytes FF FE (the
// mark stays, as the first character U+FEFF; an odd last byte becomes
// U+FFFD), UTF-8 otherwise (malformed sequences become U+FFFD). Every byte
// counts, zero bytes included.
std::u16string DecodeAnswerText(std::string_view body);

// The header block, fed line by line as libcurl hands the lines over (each
// with its CR LF). An interim answer (1xx) or a redirect starts the block
// anew, so only the final response's lines remain: its status line, its
// header lines and the empty line that ends them.
class AnswerHeaders {
   public:
    void AddLine(std::string_view line);

    const std::string& Text() const { return m_text; }
    // True once the empty line ended a block that was not an interim answer.
    bool Complete() const { return m_complete; }
    // The status of the last status line; 0 before one came or when it is
    // unreadable.
    int Status() const { return m_status; }

   private:
    std::string m_text;
    int m_status = 0;
    bool m_complete = false;
};

// The three digits after the protocol word of a status line
// ("HTTP/1.1 404 Not Found" gives 404); 0 when there are none.
int StatusOfLine(std::string_view line);

}  // namespace nb::external::net
