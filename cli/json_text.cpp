#include "cli/json_text.h"

#include <set>
#include <vector>

namespace corvane {
namespace {

// The format nests seven levels deep; anything far deeper is not a profile.
constexpr int kMaxDepth = 16;

struct ParseAbort {
  std::string message;
};

}  // namespace

std::optional<Json> ParseJsonText(std::string_view text, std::string& problem) {
  std::vector<std::set<std::string>> open_objects;
  const Json::parser_callback_t check = [&](int depth, Json::parse_event_t event, Json& parsed) {
    if (depth > kMaxDepth) throw ParseAbort{"nested more than 16 levels deep"};
    switch (event) {
      case Json::parse_event_t::object_start:
        open_objects.emplace_back();
        break;
      case Json::parse_event_t::object_end:
        if (!open_objects.empty()) open_objects.pop_back();
        break;
      case Json::parse_event_t::key:
        if (!open_objects.empty() &&
            !open_objects.back().insert(parsed.get<std::string>()).second) {
          throw ParseAbort{"the key " + parsed.dump() + " appears twice in one object"};
        }
        break;
      default:
        break;
    }
    return true;
  };
  try {
    return Json::parse(text.begin(), text.end(), check);
  } catch (const Json::exception& error) {
    problem = error.what();
    // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
    if (const std::size_t end = problem.find("] ");
        problem.starts_with("[json.") && end != std::string::npos) {
      problem.erase(0, end + 2);
    }
  } catch (const ParseAbort& abort) {
    problem = abort.message;
  }
  return std::nullopt;
}

}  // namespace corvane
