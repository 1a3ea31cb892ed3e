#include "shell/channel/frame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nb::shell {
namespace {

Frame RoundTrip(const Frame& frame) {
    const std::string bytes = EncodeFrame(frame);
    std::uint32_t size = 0;
    std::memcpy(&size, bytes.data(), sizeof size);
    EXPECT_EQ(size + sizeof size, bytes.size());
    Frame decoded;
    EXPECT_TRUE(DecodeFrame(reinterpret_cast<const std::uint8_t*>(bytes.data()) + sizeof size, size,
                            &decoded));
    return decoded;
}

TEST(ChannelFrame, EveryValueTypeRoundTrips) {
    Frame frame;
    frame.kind = FrameKind::kReply;
    frame.sequence = 77;
    frame.op = FrameOp::kCall;
    frame.page = 0x1234567890ull;
    frame.number = -5;
    frame.text = "win_Width";
    frame.AddValue(g_variant_new_string("text é"));
    frame.AddValue(g_variant_new_int32(-2));
    frame.AddValue(g_variant_new_double(1.5));
    frame.AddValue(g_variant_new_boolean(TRUE));
    frame.AddValue(NullValue());
    frame.AddValue(UndefinedValue());
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("av"));
    g_variant_builder_add(&items, "v", g_variant_new_int32(1));
    g_variant_builder_add(&items, "v", NullValue());
    frame.AddValue(g_variant_builder_end(&items));
    const Frame back = RoundTrip(frame);
    EXPECT_EQ(back.kind, FrameKind::kReply);
    EXPECT_EQ(back.sequence, 77u);
    EXPECT_EQ(back.op, FrameOp::kCall);
    EXPECT_EQ(back.page, 0x1234567890ull);
    EXPECT_EQ(back.number, -5);
    EXPECT_EQ(back.text, "win_Width");
    ASSERT_EQ(back.values.size(), frame.values.size());
    for (std::size_t i = 0; i < frame.values.size(); ++i)
        EXPECT_TRUE(g_variant_equal(back.values[i], frame.values[i])) << i;
}

TEST(ChannelFrame, RefusesWhatIsNotAFrame) {
    Frame frame;
    frame.op = FrameOp::kGet;
    frame.AddValue(g_variant_new_uint64(3));  // not a channel value
    std::string bytes = EncodeFrame(frame);
    Frame decoded;
    EXPECT_FALSE(DecodeFrame(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 4,
                             bytes.size() - 4, &decoded));

    Frame unknown_op;
    unknown_op.op = static_cast<FrameOp>(42);
    bytes = EncodeFrame(unknown_op);
    EXPECT_FALSE(DecodeFrame(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 4,
                             bytes.size() - 4, &decoded));

    const std::uint8_t garbage[] = {0xff, 0x00, 0x13, 0x37, 0x01};
    EXPECT_FALSE(DecodeFrame(garbage, sizeof garbage, &decoded) && decoded.op == FrameOp::kCall &&
                 !decoded.values.empty());
}

TEST(ChannelFrame, DeepArraysAreRefused) {
    GVariant* value = g_variant_new_int32(1);
    for (int depth = 0; depth <= kMaxValueNesting; ++depth) {
        GVariantBuilder items;
        g_variant_builder_init(&items, G_VARIANT_TYPE("av"));
        g_variant_builder_add(&items, "v", value);
        value = g_variant_builder_end(&items);
    }
    g_variant_ref_sink(value);
    EXPECT_FALSE(IsChannelValue(value));
    g_variant_unref(value);
}

}  // namespace
}  // namespace nb::shell
