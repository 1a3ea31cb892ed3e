// internals/lame_enc.so loaded at run time, with its calls resolved by name.
// Loaded per job, so a library put in place while the program runs is used
// by the next job.
#pragma once

#include <memory>
#include <string>

#include "external/audio/lame_enc/lame_enc.h"
#include "platform/kernel/expected.h"

namespace nb::external::audio {

struct LameEncCalls {
    BeInitStreamFunction init_stream;
    BeEncodeChunkFunction encode_chunk;
    BeDeinitStreamFunction deinit_stream;
    BeCloseStreamFunction close_stream;
    BeVersionFunction version;
    BeWriteVbrHeaderFunction write_vbr_header;
    BeWriteInfoTagFunction write_info_tag;  // optional: null when the library lacks it
};

class LameEncLibrary {
   public:
    enum class LoadFailure { NotLoadable, CallMissing };
    using Loaded = Expected<std::unique_ptr<LameEncLibrary>, LoadFailure>;

    // Loads the library at path and resolves its calls: NotLoadable when it
    // is absent or cannot be loaded, CallMissing when a call other than
    // beWriteInfoTag is not there.
    static Loaded Load(const std::string& path);

    const LameEncCalls& calls() const { return m_calls; }

   private:
    struct Unloader {
        void operator()(void* handle) const;
    };

    LameEncLibrary(std::unique_ptr<void, Unloader> handle, const LameEncCalls& calls)
        : m_handle(std::move(handle)), m_calls(calls) {}

    std::unique_ptr<void, Unloader> m_handle;
    LameEncCalls m_calls;
};

}  // namespace nb::external::audio
