#include "config/profile_paths.h"

#include "platform/files.h"

namespace corvane {

std::optional<std::string> PathIn(std::string folder, FolderBounds bounds, std::string_view name) {
  if (folder.size() < bounds.shortest || folder.size() > bounds.longest) return std::nullopt;
  if (folder.back() == '/') folder.pop_back();
  return folder + "/" + std::string(name);
}

std::optional<std::string> ProfilePathWithoutCreating() {
  return PathIn(UserProfileDirectory(), kHomeFolderBounds, "Corvane/profile.dat");
}

std::optional<std::string> ProfilePath() {
  const std::optional<std::string> folder =
      PathIn(UserProfileDirectory(), kHomeFolderBounds, "Corvane");
  if (!folder) return std::nullopt;
  CreateDirectory(*folder);
  return *folder + "/profile.dat";
}

std::optional<std::string> SystemFolderPath(std::string_view name) {
  return PathIn(SystemDirectory(), kSystemFolderBounds, name);
}

std::optional<std::string> ServiceProfilePath() { return SystemFolderPath("CorvaneService.dat"); }

}  // namespace corvane
