// The answers of the service control manager that the service actions tell apart, as an error
// category of their own. A failure of the system itself (an errno) stays in
// std::generic_category(), so that no errno is ever read as one of these answers.
#pragma once

#include <system_error>
#include <type_traits>

#include "platform/errno_code.h"

namespace corvane {

// The values are the Windows error numbers that these answers stand for; only the category
// makes them mean something, so they never collide with an errno of the same number.
enum class ServiceManagerError {
  kFileNotFound = 2,
  kPathNotFound = 3,
  kAccessDenied = 5,
  kNotReady = 21,  // no service manager runs on this system
  kInvalidName = 123,
  kRequestTimeout = 1053,  // the start did not end in time
  kAlreadyRunning = 1056,
  kDisabled = 1058,
  kDoesNotExist = 1060,
  kNotActive = 1062,
  kStartFailed = 1066,  // the service failed to start
  kMarkedForDelete = 1072,
};

const std::error_category& ServiceManagerCategory();

// Found by argument-dependent lookup when a ServiceManagerError becomes a std::error_code.
std::error_code make_error_code(ServiceManagerError error);

}  // namespace corvane

template <>
struct std::is_error_code_enum<corvane::ServiceManagerError> : std::true_type {};
