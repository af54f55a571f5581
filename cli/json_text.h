// JSON text read strictly, for the profile tool's import: a text that a profile cannot be is
// refused before any field is looked at.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

using Json = nlohmann::json;

// The value of `text`, or nothing with the reason in `problem`: the parser's message without its
// exception prefix ("parse error at line 3, column 5: ..."), nesting more than 16 levels deep, or
// a key that appears twice in one object (the parser would keep the last value without a word).
std::optional<Json> ParseJsonText(std::string_view text, std::string& problem);

}  // namespace corvane
