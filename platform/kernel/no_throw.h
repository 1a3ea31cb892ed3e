// Runs code where no exception may leave: at a module's exported entry
// points and at the top of a thread. An escaping exception becomes the
// caller's failure value instead of terminating the process.
#pragma once

#include <new>
#include <type_traits>

namespace nb {

// body's result; out_of_memory when it throws std::bad_alloc, other_failure
// for any other exception.
template <typename Body, typename Result = std::invoke_result_t<Body&>>
Result NoThrow(Body&& body, std::type_identity_t<Result> out_of_memory,
               std::type_identity_t<Result> other_failure) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return out_of_memory;
    } catch (...) {
        return other_failure;
    }
}

// The same with one answer for every exception.
template <typename Body, typename Result = std::invoke_result_t<Body&>>
Result NoThrow(Body&& body, std::type_identity_t<Result> failure) noexcept {
    return NoThrow(std::forward<Body>(body), failure, failure);
}

}  // namespace nb
