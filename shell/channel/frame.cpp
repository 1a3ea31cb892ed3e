#include "shell/channel/frame.h"

#include <cstring>
#include <utility>

#include "platform/glib/owned.h"

namespace nb::shell {

Frame::Frame(Frame&& other) noexcept
    : kind(other.kind),
      sequence(other.sequence),
      op(other.op),
      page(other.page),
      number(other.number),
      text(std::move(other.text)),
      values(std::move(other.values)) {
    other.values.clear();
}

Frame& Frame::operator=(Frame&& other) noexcept {
    if (this != &other) {
        for (GVariant* value : values) g_variant_unref(value);
        kind = other.kind;
        sequence = other.sequence;
        op = other.op;
        page = other.page;
        number = other.number;
        text = std::move(other.text);
        values = std::move(other.values);
        other.values.clear();
    }
    return *this;
}

Frame::~Frame() {
    for (GVariant* value : values) g_variant_unref(value);
}

void Frame::AddValue(GVariant* value) { values.push_back(g_variant_ref_sink(value)); }

GVariant* NullValue() { return g_variant_new_maybe(G_VARIANT_TYPE_STRING, nullptr); }

GVariant* UndefinedValue() { return g_variant_new_tuple(nullptr, 0); }

bool IsChannelValue(GVariant* value, int depth) {
    const GVariantType* type = g_variant_get_type(value);
    if (g_variant_type_equal(type, G_VARIANT_TYPE_STRING) ||
        g_variant_type_equal(type, G_VARIANT_TYPE_INT32) ||
        g_variant_type_equal(type, G_VARIANT_TYPE_DOUBLE) ||
        g_variant_type_equal(type, G_VARIANT_TYPE_BOOLEAN) ||
        g_variant_type_equal(type, G_VARIANT_TYPE_UNIT) ||
        g_variant_type_equal(type, G_VARIANT_TYPE("ms")))
        return true;
    if (!g_variant_type_equal(type, G_VARIANT_TYPE("av")) || depth >= kMaxValueNesting)
        return false;
    const gsize count = g_variant_n_children(value);
    for (gsize i = 0; i < count; ++i) {
        const auto boxed = glib::Take(g_variant_get_child_value(value, i));
        const auto inner = glib::Take(g_variant_get_variant(boxed.get()));
        if (!IsChannelValue(inner.get(), depth + 1)) return false;
    }
    return true;
}

std::string EncodeFrame(const Frame& frame) {
    GVariantBuilder values;
    g_variant_builder_init(&values, G_VARIANT_TYPE("av"));
    for (GVariant* value : frame.values) g_variant_builder_add(&values, "v", value);
    const auto body = glib::Take(g_variant_new(
        kFrameType, static_cast<guchar>(frame.kind), frame.sequence, static_cast<guchar>(frame.op),
        static_cast<guint64>(frame.page), frame.number, frame.text.c_str(), &values));
    const std::uint32_t size = static_cast<std::uint32_t>(g_variant_get_size(body.get()));
    std::string out(sizeof size + size, '\0');
    std::memcpy(out.data(), &size, sizeof size);
    // The serialized form is copied out: storing straight into the string
    // would write it 4 bytes off the alignment GVariant needs.
    if (size) std::memcpy(out.data() + sizeof size, g_variant_get_data(body.get()), size);
    return out;
}

bool DecodeFrame(const std::uint8_t* bytes, std::size_t size, Frame* frame) {
    // Untrusted bytes: GVariant checks them lazily and answers defaults for
    // malformed parts, so the copy is made normal before it is read.
    const glib::Bytes data(g_bytes_new(bytes, size));
    const auto normal = glib::Take(g_variant_get_normal_form(
        glib::Take(g_variant_new_from_bytes(G_VARIANT_TYPE(kFrameType), data.get(), FALSE)).get()));
    guchar kind = 0;
    guchar op = 0;
    guint64 page = 0;
    const gchar* text = nullptr;
    GVariantIter* values = nullptr;
    Frame decoded;
    g_variant_get(normal.get(), "(yuyti&sav)", &kind, &decoded.sequence, &op, &page,
                  &decoded.number, &text, &values);
    bool ok = kind <= static_cast<guchar>(FrameKind::kNote) &&
              op >= static_cast<guchar>(FrameOp::kHello) &&
              op <= static_cast<guchar>(FrameOp::kConsole);
    decoded.kind = static_cast<FrameKind>(kind);
    decoded.op = static_cast<FrameOp>(op);
    decoded.page = page;
    decoded.text = text;
    GVariant* value = nullptr;
    while (ok && g_variant_iter_next(values, "v", &value)) {
        ok = IsChannelValue(value);
        decoded.values.push_back(value);
    }
    g_variant_iter_free(values);
    if (ok) *frame = std::move(decoded);
    return ok;
}

}  // namespace nb::shell
