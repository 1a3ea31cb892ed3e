// The frames of the page channel: one Unix socket per web process carrying
// window.external calls from pages to the shell and script callbacks from
// the shell to pages. Both ends link this file; it knows GLib only.
//
// On the wire a frame is a 32-bit length in host byte order followed by a
// serialized GVariant of kFrameType. Values travel as GVariant variants:
// "s" text, "i" 32-bit integer, "d" other numbers, "b" boolean, "ms" null
// (nothing), "()" undefined, "av" an array of values.
#pragma once

#include <glib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace nb::shell {

inline constexpr char kFrameType[] = "(yuytisav)";
// Frames above this are refused; nothing the pages exchange comes close.
inline constexpr std::uint32_t kMaxFrameBytes = 64u << 20;
// Arrays nested deeper than this are cut (undefined), which also ends an
// array that contains itself.
inline constexpr int kMaxValueNesting = 64;

enum class FrameKind : std::uint8_t { kRequest = 0, kReply = 1, kNote = 2 };

enum class FrameOp : std::uint8_t {
    kHello = 1,     // note, web -> shell: text = token, page = the page now present
    kLookUp = 2,    // text = member name; reply: number = DISPID or HRESULT, values = [is method]
    kGet = 3,       // number = DISPID; reply: number = HRESULT, text = error, values = [result]
    kPut = 4,       // number = DISPID, values = [value]; reply as kGet without a result
    kCall = 5,      // number = DISPID, values = arguments in script order; reply as kGet
    kCallPage = 6,  // shell -> web: text = global function, values = arguments; reply as kGet
    kConsole = 7,   // note, web -> shell: number = level, text = "source:line: message"
};

struct Frame {
    FrameKind kind = FrameKind::kRequest;
    std::uint32_t sequence = 0;
    FrameOp op = FrameOp::kHello;
    std::uint64_t page = 0;
    std::int32_t number = 0;
    std::string text;
    // Floating-free references, owned by the frame.
    std::vector<GVariant*> values;

    Frame() = default;
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    Frame(Frame&& other) noexcept;
    Frame& operator=(Frame&& other) noexcept;
    ~Frame();

    // Takes ownership of value (a floating reference is sunk).
    void AddValue(GVariant* value);
};

// The frame with its length prefix, ready to write.
std::string EncodeFrame(const Frame& frame);

// The body of a frame (without the length prefix). False when the bytes are
// not a frame of kFrameType, a kind or op is unknown, or a value is not one
// of the value types above (nested within kMaxValueNesting).
bool DecodeFrame(const std::uint8_t* bytes, std::size_t size, Frame* frame);

// True when value has one of the value types above, arrays checked inside.
bool IsChannelValue(GVariant* value, int depth = 0);

// Value constructors, floating references.
GVariant* NullValue();
GVariant* UndefinedValue();

}  // namespace nb::shell
