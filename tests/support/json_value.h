// A small JSON reader for tests that check a program's JSON output: the
// whole text must be one valid value, or nothing is returned.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vtx::test {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::string text;  // UTF-8
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // in the text's order

    // The member `key`, or a Null value when there is none (or this is no object).
    const JsonValue& operator[](const std::string& key) const;
};

std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace vtx::test
