#include "service/service_manager_error.h"

#include <string>

namespace corvane {
namespace {

class Category final : public std::error_category {
 public:
  const char* name() const noexcept override { return "service manager"; }

  std::string message(int value) const override {
    switch (static_cast<ServiceManagerError>(value)) {
      case ServiceManagerError::kFileNotFound:
        return "file not found";
      case ServiceManagerError::kPathNotFound:
        return "path not found";
      case ServiceManagerError::kAccessDenied:
        return "access denied";
      case ServiceManagerError::kNotReady:
        return "no service manager runs on this system";
      case ServiceManagerError::kInvalidName:
        return "invalid service name";
      case ServiceManagerError::kRequestTimeout:
        return "the service did not finish starting in time";
      case ServiceManagerError::kAlreadyRunning:
        return "the service is already running";
      case ServiceManagerError::kDisabled:
        return "the service is disabled";
      case ServiceManagerError::kDoesNotExist:
        return "the service does not exist";
      case ServiceManagerError::kNotActive:
        return "the service is not active";
      case ServiceManagerError::kStartFailed:
        return "the service failed to start";
      case ServiceManagerError::kMarkedForDelete:
        return "the service is marked for delete";
    }
    return "unknown service manager answer " + std::to_string(value);
  }
};

}  // namespace

const std::error_category& ServiceManagerCategory() {
  static const Category category;
  return category;
}

std::error_code make_error_code(ServiceManagerError error) {
  return {static_cast<int>(error), ServiceManagerCategory()};
}

}  // namespace corvane
