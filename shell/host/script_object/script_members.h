// The members of the script object that pages reach by name (window.external
// methods and properties). Each is described once, in the table of
// script_members.cpp, which drives both the name lookup and the dispatch.
#pragma once

#include <string_view>

#include "platform/automation/interfaces.h"

namespace nb::shell {

class CBrowserCustomizer;

enum class MemberKind {
    kMethod,            // called only as a method
    kMethodAnyRequest,  // also runs when script reads or writes it as a property
    kProperty,
};

// One request to a member, as Invoke received it.
struct MemberCall {
    DISPID dispid;
    WORD flags;
    DISPPARAMS* params;
    VARIANT* result;
    EXCEPINFO* exception;
    UINT* argument_error;
};

using MemberHandler = HRESULT (CBrowserCustomizer::*)(const MemberCall& call);

struct ScriptMember {
    std::u16string_view name;
    DISPID dispid;
    MemberKind kind;
    MemberHandler handler;
};

// The member of that name in any letter case, or null.
const ScriptMember* FindMember(std::u16string_view name);
// The member with that DISPID, or null.
const ScriptMember* FindMember(DISPID dispid);

}  // namespace nb::shell
