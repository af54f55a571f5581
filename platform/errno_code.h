// The system's error numbers as std::error_code, the one error type of every platform call that
// can fail. All of them are in std::generic_category(), so that the same failure compares equal
// wherever it was taken, and a code of our own category (service/service_manager_error.h) is never
// mistaken for an errno of the same number.
#pragma once

#include <cerrno>
#include <system_error>

namespace corvane {

inline std::error_code ErrnoCode(int error) { return {error, std::generic_category()}; }

// The errno of the system call that has just failed. Only platform code calls it, right after
// that call: no one reads errno later.
inline std::error_code LastErrnoCode() { return ErrnoCode(errno); }

}  // namespace corvane
