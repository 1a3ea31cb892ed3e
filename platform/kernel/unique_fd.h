// A file descriptor with one owner, closed when the owner goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace nb {

class UniqueFd {
   public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    bool IsOpen() const { return m_fd >= 0; }
    int Get() const { return m_fd; }
    // Closes the descriptor held (if any) and takes fd.
    void Reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    // Closes now; false when closing reported an error (a write the kernel
    // deferred may fail only here). Closing nothing succeeds.
    bool Close() {
        if (m_fd < 0) return true;
        return ::close(std::exchange(m_fd, -1)) == 0;
    }
    // Gives the descriptor up without closing it.
    [[nodiscard]] int Release() { return std::exchange(m_fd, -1); }

   private:
    int m_fd = -1;
};

}  // namespace nb
