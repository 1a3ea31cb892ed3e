// The shutdown block of one shell window: while a reason is set, the system
// is asked not to shut down. Here the system is systemd-logind: a "block"
// inhibitor lock for "shutdown", taken over the system bus and held as the
// file descriptor logind hands out; closing it releases the lock.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/kernel/unique_fd.h"

namespace nb::shell {

class ShutdownBlock {
   public:
    ShutdownBlock() = default;
    ShutdownBlock(const ShutdownBlock&) = delete;
    ShutdownBlock& operator=(const ShutdownBlock&) = delete;
    ~ShutdownBlock() = default;  // closing the descriptor releases the lock

    // Releases any earlier block, records the reason and asks logind for the
    // lock on behalf of who. When logind cannot be reached (no system bus, no
    // logind, refused) the reason stays recorded without a lock: the script
    // call still succeeds, as a block the system does not support would.
    void Block(std::u16string_view who, std::u16string_view reason);
    // Releases the lock and clears the reason.
    void Release();

    bool Blocked() const { return m_reason.has_value(); }
    const std::optional<std::u16string>& Reason() const { return m_reason; }
    // Whether logind holds a lock for us.
    bool Locked() const { return m_lock.IsOpen(); }

   private:
    std::optional<std::u16string> m_reason;
    UniqueFd m_lock;
};

}  // namespace nb::shell
