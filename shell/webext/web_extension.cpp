// The web-process half of window.external. WebKit loads this module into
// every web process of the shell; it connects to the shell's page channel
// (socket path and token come as initialization data) and installs
// window.external as an object whose every property access is a synchronous
// request to the shell. While it waits for a reply it serves the shell's own
// requests (script callbacks), so a page blocked in a call can still be
// called back.
#include <glib-unix.h>
#include <jsc/jsc.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <webkit2/webkit-web-extension.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

#include "platform/glib/owned.h"
#include "shell/channel/frame.h"

namespace {

using nb::shell::DecodeFrame;
using nb::shell::EncodeFrame;
using nb::shell::Frame;
using nb::shell::FrameKind;
using nb::shell::FrameOp;

constexpr std::int32_t kUnknownMember = -1;
constexpr std::int32_t kDispUnknownName = static_cast<std::int32_t>(0x80020006);
constexpr std::int32_t kDispException = static_cast<std::int32_t>(0x80020009);
constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005);

struct Member {
    std::int32_t dispid = kUnknownMember;
    bool is_method = false;
};

struct Channel {
    WebKitWebExtension* extension = nullptr;
    int socket = -1;
    std::uint32_t next_sequence = 1;
    std::string token;
    bool console = false;
    // Names asked once per process; the member table is the same in every window.
    std::unordered_map<std::string, Member> members;
    // The main frame's script context of each page, from its last window-object-cleared.
    std::unordered_map<std::uint64_t, nb::glib::Object<JSCContext>> contexts;
};

// One per web process, set up once in the initializer. Never destroyed: the
// script contexts it holds must not be released while the process exits.
Channel& g_channel = *new Channel;

bool WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(g_channel.socket, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(void* out, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = read(g_channel.socket, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadFrame(Frame* frame) {
    std::uint32_t size = 0;
    if (!ReadAll(&size, sizeof size) || size > nb::shell::kMaxFrameBytes) return false;
    std::string body(size, '\0');
    if (!ReadAll(body.data(), size)) return false;
    return DecodeFrame(reinterpret_cast<const std::uint8_t*>(body.data()), size, frame);
}

void CloseChannel() {
    if (g_channel.socket >= 0) close(g_channel.socket);
    g_channel.socket = -1;
}

// --- values -----------------------------------------------------------------

GVariant* ToChannelValue(JSCValue* value, int depth) {
    if (jsc_value_is_string(value)) {
        const nb::glib::Text text(jsc_value_to_string(value));
        return g_variant_new_string(text.get());
    }
    if (jsc_value_is_boolean(value)) return g_variant_new_boolean(jsc_value_to_boolean(value));
    if (jsc_value_is_number(value)) {
        const double number = jsc_value_to_double(value);
        // Integers become VT_I4; -0 stays a double so it keeps its sign.
        if (std::trunc(number) == number && number >= std::numeric_limits<std::int32_t>::min() &&
            number <= std::numeric_limits<std::int32_t>::max() &&
            !(number == 0 && std::signbit(number)))
            return g_variant_new_int32(static_cast<std::int32_t>(number));
        return g_variant_new_double(number);
    }
    if (jsc_value_is_null(value)) return nb::shell::NullValue();
    if (jsc_value_is_array(value) && depth < nb::shell::kMaxValueNesting) {
        const auto length_value = nb::glib::Take(jsc_value_object_get_property(value, "length"));
        const std::int32_t length = jsc_value_to_int32(length_value.get());
        GVariantBuilder items;
        g_variant_builder_init(&items, G_VARIANT_TYPE("av"));
        for (std::int32_t i = 0; i < length; ++i) {
            const auto item = nb::glib::Take(
                jsc_value_object_get_property_at_index(value, static_cast<guint>(i)));
            g_variant_builder_add(&items, "v", ToChannelValue(item.get(), depth + 1));
        }
        return g_variant_builder_end(&items);
    }
    return nb::shell::UndefinedValue();
}

JSCValue* ToScriptValue(JSCContext* context, GVariant* value) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING))
        return jsc_value_new_string(context, g_variant_get_string(value, nullptr));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32))
        return jsc_value_new_number(context, g_variant_get_int32(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE))
        return jsc_value_new_number(context, g_variant_get_double(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
        return jsc_value_new_boolean(context, g_variant_get_boolean(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE("ms"))) return jsc_value_new_null(context);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE("av"))) {
        JSCValue* array = jsc_value_new_array(context, G_TYPE_NONE);
        const gsize count = g_variant_n_children(value);
        for (gsize i = 0; i < count; ++i) {
            const auto boxed = nb::glib::Take(g_variant_get_child_value(value, i));
            const auto inner = nb::glib::Take(g_variant_get_variant(boxed.get()));
            const auto item = nb::glib::Take(ToScriptValue(context, inner.get()));
            jsc_value_object_set_property_at_index(array, static_cast<guint>(i), item.get());
        }
        return array;
    }
    return jsc_value_new_undefined(context);
}

// --- serving the shell --------------------------------------------------------

nb::glib::Object<JSCContext> PageContext(std::uint64_t page_id) {
    const auto found = g_channel.contexts.find(page_id);
    if (found == g_channel.contexts.end()) return nullptr;
    return nb::glib::Ref(found->second.get());
}

// Runs a global function of the page for the shell and writes the reply.
void ServeCallPage(const Frame& request) {
    Frame reply;
    reply.kind = FrameKind::kReply;
    reply.sequence = request.sequence;
    reply.op = request.op;
    reply.page = request.page;
    reply.number = kDispUnknownName;
    if (const auto context = PageContext(request.page)) {
        const auto global = nb::glib::Take(jsc_context_get_global_object(context.get()));
        const auto function =
            nb::glib::Take(jsc_value_object_get_property(global.get(), request.text.c_str()));
        if (jsc_value_is_function(function.get())) {
            const nb::glib::PtrArray arguments(g_ptr_array_new_with_free_func(g_object_unref));
            for (GVariant* value : request.values)
                g_ptr_array_add(arguments.get(), ToScriptValue(context.get(), value));
            const auto result = nb::glib::Take(jsc_value_function_callv(
                function.get(), arguments->len, reinterpret_cast<JSCValue**>(arguments->pdata)));
            if (JSCException* exception = jsc_context_get_exception(context.get())) {
                reply.number = kDispException;
                reply.text = jsc_exception_get_message(exception);
                jsc_context_clear_exception(context.get());
            } else {
                reply.number = 0;
                reply.AddValue(ToChannelValue(result.get(), 0));
            }
        }
    }
    if (!WriteAll(EncodeFrame(reply))) CloseChannel();
}

// Sends a request and waits for its reply, serving the shell's requests meanwhile.
bool Request(Frame& request, Frame* reply) {
    if (g_channel.socket < 0) return false;
    request.kind = FrameKind::kRequest;
    request.sequence = g_channel.next_sequence++;
    if (!WriteAll(EncodeFrame(request))) {
        CloseChannel();
        return false;
    }
    for (;;) {
        Frame incoming;
        if (!ReadFrame(&incoming)) {
            CloseChannel();
            return false;
        }
        if (incoming.kind == FrameKind::kReply && incoming.sequence == request.sequence) {
            *reply = std::move(incoming);
            return true;
        }
        if (incoming.kind == FrameKind::kRequest && incoming.op == FrameOp::kCallPage)
            ServeCallPage(incoming);
    }
}

void Note(FrameOp op, std::uint64_t page, std::int32_t number, std::string text) {
    if (g_channel.socket < 0) return;
    Frame note;
    note.kind = FrameKind::kNote;
    note.op = op;
    note.page = page;
    note.number = number;
    note.text = std::move(text);
    if (!WriteAll(EncodeFrame(note))) CloseChannel();
}

gboolean OnShellReadable(gint, GIOCondition condition, gpointer) {
    if (condition & (G_IO_HUP | G_IO_ERR)) {
        CloseChannel();
        return G_SOURCE_REMOVE;
    }
    Frame incoming;
    if (!ReadFrame(&incoming)) {
        CloseChannel();
        return G_SOURCE_REMOVE;
    }
    if (incoming.kind == FrameKind::kRequest && incoming.op == FrameOp::kCallPage)
        ServeCallPage(incoming);
    return G_SOURCE_CONTINUE;
}

// --- window.external ------------------------------------------------------------

std::uint64_t PageOf(JSCContext* context) {
    return reinterpret_cast<std::uintptr_t>(g_object_get_data(G_OBJECT(context), "nb-page"));
}

void ThrowFailure(JSCContext* context, const char* name, const Frame& reply, bool delivered) {
    if (!delivered) {
        jsc_context_throw(context, "window.external: the shell is not reachable");
        return;
    }
    const nb::glib::Text message(reply.text.empty()
                                     ? g_strdup_printf("window.external.%s failed (0x%08X)", name,
                                                       static_cast<unsigned>(reply.number))
                                     : g_strdup(reply.text.c_str()));
    jsc_context_throw(context, message.get());
}

Member LookUp(JSCContext* context, const char* name) {
    const auto found = g_channel.members.find(name);
    if (found != g_channel.members.end()) return found->second;
    Frame request;
    request.op = FrameOp::kLookUp;
    request.page = PageOf(context);
    request.text = name;
    Frame reply;
    if (!Request(request, &reply)) return {};
    Member member;
    if (reply.number >= 0 && reply.values.size() == 1 &&
        g_variant_is_of_type(reply.values[0], G_VARIANT_TYPE_BOOLEAN)) {
        member.dispid = reply.number;
        member.is_method = g_variant_get_boolean(reply.values[0]);
    }
    g_channel.members.emplace(name, member);
    return member;
}

struct MethodData {
    std::int32_t dispid;
    std::string name;
};

JSCValue* CallMethod(GPtrArray* arguments, gpointer data) {
    const auto* method = static_cast<const MethodData*>(data);
    JSCContext* context = jsc_context_get_current();
    Frame request;
    request.op = FrameOp::kCall;
    request.page = PageOf(context);
    request.number = method->dispid;
    for (guint i = 0; i < arguments->len; ++i)
        request.AddValue(ToChannelValue(static_cast<JSCValue*>(arguments->pdata[i]), 0));
    Frame reply;
    const bool delivered = Request(request, &reply);
    if (!delivered || reply.number < 0) {
        ThrowFailure(context, method->name.c_str(), reply, delivered);
        return jsc_value_new_undefined(context);
    }
    if (reply.values.empty()) return jsc_value_new_undefined(context);
    return ToScriptValue(context, reply.values[0]);
}

JSCValue* GetProperty(JSCClass*, JSCContext* context, gpointer, const char* name) {
    const Member member = LookUp(context, name);
    if (member.dispid == kUnknownMember) return nullptr;
    if (member.is_method) {
        // One function object per name and page context, handed out every time.
        auto* functions =
            static_cast<GHashTable*>(g_object_get_data(G_OBJECT(context), "nb-methods"));
        if (auto* cached = static_cast<JSCValue*>(g_hash_table_lookup(functions, name)))
            return JSC_VALUE(g_object_ref(cached));
        auto* data = new MethodData{member.dispid, name};
        JSCValue* function = jsc_value_new_function_variadic(
            context, name, G_CALLBACK(CallMethod), data,
            [](gpointer p) { delete static_cast<MethodData*>(p); }, JSC_TYPE_VALUE);
        g_hash_table_insert(functions, g_strdup(name), g_object_ref(function));
        return function;
    }
    Frame request;
    request.op = FrameOp::kGet;
    request.page = PageOf(context);
    request.number = member.dispid;
    request.text = name;
    Frame reply;
    const bool delivered = Request(request, &reply);
    if (!delivered || reply.number < 0) {
        ThrowFailure(context, name, reply, delivered);
        return jsc_value_new_undefined(context);
    }
    if (reply.values.empty()) return jsc_value_new_undefined(context);
    return ToScriptValue(context, reply.values[0]);
}

gboolean SetProperty(JSCClass*, JSCContext* context, gpointer, const char* name, JSCValue* value) {
    const Member member = LookUp(context, name);
    if (member.dispid == kUnknownMember || member.is_method) return FALSE;
    Frame request;
    request.op = FrameOp::kPut;
    request.page = PageOf(context);
    request.number = member.dispid;
    request.text = name;
    request.AddValue(ToChannelValue(value, 0));
    Frame reply;
    const bool delivered = Request(request, &reply);
    if (!delivered || reply.number < 0) ThrowFailure(context, name, reply, delivered);
    return TRUE;
}

gboolean HasProperty(JSCClass*, JSCContext* context, gpointer, const char* name) {
    return LookUp(context, name).dispid != kUnknownMember;
}

const JSCClassVTable kExternalTable = {GetProperty, SetProperty, HasProperty, nullptr, nullptr,
                                       nullptr,     nullptr,     nullptr,     nullptr};

int g_external_instance;  // the class needs a non-null instance; it carries no state

void InstallConsole(JSCContext* context, std::uint64_t page_id);

void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame,
                           gpointer) {
    if (!webkit_frame_is_main_frame(frame)) return;
    JSCContext* context = webkit_frame_get_js_context_for_script_world(frame, world);
    const std::uint64_t page_id = webkit_web_page_get_id(page);
    g_object_set_data(G_OBJECT(context), "nb-page",
                      reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(page_id)));
    g_object_set_data_full(G_OBJECT(context), "nb-methods",
                           g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_object_unref),
                           reinterpret_cast<GDestroyNotify>(g_hash_table_unref));
    JSCClass* external_class = jsc_context_register_class(
        context, "External", nullptr, const_cast<JSCClassVTable*>(&kExternalTable), nullptr);
    const auto external =
        nb::glib::Take(jsc_value_new_object(context, &g_external_instance, external_class));
    const auto global = nb::glib::Take(jsc_context_get_global_object(context));
    jsc_value_object_define_property_data(
        global.get(), "external",
        static_cast<JSCValuePropertyFlags>(JSC_VALUE_PROPERTY_CONFIGURABLE |
                                           JSC_VALUE_PROPERTY_ENUMERABLE),
        external.get());
    g_channel.contexts[page_id] = nb::glib::Take(context);
    Note(FrameOp::kHello, page_id, 0, g_channel.token);
    if (g_channel.console) InstallConsole(context, page_id);
}

// Console messages reach the shell from a wrapper around the page's console
// methods: the engine no longer reports them to web-process extensions.
constexpr char kConsoleWrapper[] =
    "(function(send){"
    "for(const level of ['log','info','warn','error','debug']){"
    "const original=console[level];"
    "console[level]=function(...args){"
    "try{send(level+': '+args.map(a=>typeof a==='string'?a:(()=>{try{return "
    "JSON.stringify(a)}catch(e){return String(a)}})()).join(' '))}catch(e){}"
    "return original.apply(console,args);};}"
    "addEventListener('error',e=>send('error: '+e.message+' ('+e.filename+':'+e.lineno+')'));"
    "})";

void SendConsole(const char* text, gpointer data) {
    Note(FrameOp::kConsole, reinterpret_cast<std::uintptr_t>(data), 0, text ? text : "");
}

void InstallConsole(JSCContext* context, std::uint64_t page_id) {
    const auto send = nb::glib::Take(
        jsc_value_new_function(context, nullptr, G_CALLBACK(SendConsole),
                               reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(page_id)),
                               nullptr, G_TYPE_NONE, 1, G_TYPE_STRING));
    const auto wrapper = nb::glib::Take(jsc_context_evaluate(context, kConsoleWrapper, -1));
    nb::glib::Take(jsc_value_function_call(wrapper.get(), JSC_TYPE_VALUE, send.get(), G_TYPE_NONE));
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
    const std::uint64_t page_id = webkit_web_page_get_id(page);
    Note(FrameOp::kHello, page_id, 0, g_channel.token);
    g_object_weak_ref(
        G_OBJECT(page),
        [](gpointer data, GObject*) {
            g_channel.contexts.erase(reinterpret_cast<std::uintptr_t>(data));
        },
        reinterpret_cast<gpointer>(static_cast<std::uintptr_t>(page_id)));
}

bool Connect(const char* path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) {
        close(fd);
        return false;
    }
    std::strcpy(address.sun_path, path);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    g_channel.socket = fd;
    return true;
}

}  // namespace

extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, const GVariant* user_data) {
    const gchar* path = nullptr;
    const gchar* token = nullptr;
    gboolean console = FALSE;
    auto* data = const_cast<GVariant*>(user_data);
    if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE("(ssb)"))) return;
    g_variant_get(data, "(&s&sb)", &path, &token, &console);
    g_channel.extension = extension;
    g_channel.token = token;
    g_channel.console = console;
    if (!Connect(path)) {
        g_warning("window.external: cannot connect to the shell at %s", path);
        return;
    }
    g_unix_fd_add(g_channel.socket, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                  OnShellReadable, nullptr);
    g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
    g_signal_connect(webkit_script_world_get_default(), "window-object-cleared",
                     G_CALLBACK(OnWindowObjectCleared), nullptr);
}
