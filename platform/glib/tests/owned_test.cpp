#include "platform/glib/owned.h"

#include <gtest/gtest.h>

#include <utility>

namespace nb::glib {
namespace {

// A plain GObject that clears *gone when it is finalized.
GObject* Watched(GObject** gone) {
    GObject* object = G_OBJECT(g_object_new(G_TYPE_OBJECT, nullptr));
    *gone = object;
    g_object_add_weak_pointer(object, reinterpret_cast<gpointer*>(gone));
    return object;
}

TEST(GlibOwned, TakeAdoptsAFullReference) {
    GObject* alive = nullptr;
    Object<GObject> owner = Take(Watched(&alive));
    ASSERT_NE(alive, nullptr);
    owner.reset();
    EXPECT_EQ(alive, nullptr);
}

TEST(GlibOwned, TakeSinksAFloatingReference) {
    GObject* alive = nullptr;
    GObject* object = Watched(&alive);
    g_object_force_floating(object);
    Object<GObject> owner = Take(object);
    EXPECT_FALSE(g_object_is_floating(owner.get()));
    owner.reset();
    EXPECT_EQ(alive, nullptr);
}

TEST(GlibOwned, RefKeepsTheObjectPastItsOtherOwner) {
    GObject* alive = nullptr;
    GObject* object = Watched(&alive);
    Object<GObject> second = Ref(object);
    g_object_unref(object);
    ASSERT_NE(alive, nullptr);
    Object<GObject> moved = std::move(second);
    EXPECT_EQ(second, nullptr);
    moved.reset();
    EXPECT_EQ(alive, nullptr);
}

TEST(GlibOwned, VariantsAreSunkOrKeptAsTheyCame) {
    Variant floating = Take(g_variant_new_int32(7));
    EXPECT_FALSE(g_variant_is_floating(floating.get()));
    Variant pair = Take(g_variant_new("(is)", 1, "a"));
    // A full reference from the API: adopted without another reference,
    // which the leak checker of the sanitizer build would report.
    Variant child = Take(g_variant_get_child_value(pair.get(), 1));
    pair.reset();
    EXPECT_STREQ(g_variant_get_string(child.get(), nullptr), "a");
    Variant shared = Ref(floating.get());
    floating.reset();
    EXPECT_EQ(g_variant_get_int32(shared.get()), 7);
}

TEST(GlibOwned, OutFillsTheOwnerAfterTheCall) {
    Text contents;
    Error error;
    const gboolean read =
        g_file_get_contents("/nonexistent/file", Out(contents), nullptr, Out(error));
    EXPECT_FALSE(read);
    EXPECT_EQ(contents, nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error.get(), G_FILE_ERROR, G_FILE_ERROR_NOENT));
}

TEST(GlibOwned, ListsAndTextsAreFreedWhole) {
    Strv words(g_strsplit("a b c", " ", -1));
    EXPECT_EQ(g_strv_length(words.get()), 3u);
    Text joined(g_strjoinv("-", words.get()));
    EXPECT_STREQ(joined.get(), "a-b-c");
    List cells(g_list_append(g_list_append(nullptr, words.get()[0]), words.get()[1]));
    EXPECT_EQ(g_list_length(cells.get()), 2u);
}

}  // namespace
}  // namespace nb::glib
