// Where the profile and the service's files live, and the length rules of their folders, for
// every reader and writer of them (the profile file, the service actions, the profile tool).
//
// A folder's name counts only within its bounds, as the program's fixed path buffers had it:
// the home folder 2..220 characters, the system folder 1..200. One trailing slash is dropped
// before a name is joined, so the root folder "/" gives "/CorvaneService.dat".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

struct FolderBounds {
  std::size_t shortest;
  std::size_t longest;
};
inline constexpr FolderBounds kHomeFolderBounds{2, 220};
inline constexpr FolderBounds kSystemFolderBounds{1, 200};

// `folder` + "/" + `name`; nothing when the folder's name is out of `bounds`.
[[nodiscard]] std::optional<std::string> PathIn(std::string folder, FolderBounds bounds,
                                                std::string_view name);

// ~/Corvane/profile.dat, creating nothing: for those who only read or copy the profile.
[[nodiscard]] std::optional<std::string> ProfilePathWithoutCreating();

// ~/Corvane/profile.dat, after creating the folder ~/Corvane (a failure to create it is
// ignored): for those who write or lock the profile.
[[nodiscard]] std::optional<std::string> ProfilePath();

// <system folder>/<name>, e.g. the service program; no folder is created.
[[nodiscard]] std::optional<std::string> SystemFolderPath(std::string_view name);

// <system folder>/CorvaneService.dat; no folder is created.
[[nodiscard]] std::optional<std::string> ServiceProfilePath();

}  // namespace corvane
