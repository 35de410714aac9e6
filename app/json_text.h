// Writing the JSON that the one-shot commands print with --json: values as
// JSON text, and objects whose keys keep the order they were added in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orva::app::json {

// A JSON string: quotes, backslashes and control characters escaped, a
// surrogate without its partner as \uXXXX, everything else as UTF-8.
std::string string(const std::u16string& text);
// The same from UTF-8; each invalid sequence becomes U+FFFD.
std::string string(std::string_view utf8);
std::string number(int64_t value);
std::string boolean(bool value);
inline constexpr const char* kNull = "null";
// A string, or null for nullopt.
std::string string_or_null(const std::optional<std::string>& text);
// A number, or null for nullopt.
std::string number_or_null(const std::optional<int64_t>& value);
// An array of values given as JSON text.
std::string array(const std::vector<std::string>& values);
std::string string_array(const std::vector<std::string>& texts);

class Object {
public:
    // Adds `key` with `value` (JSON text); a key added again replaces its value in place.
    Object& add(std::string_view key, std::string value);
    // Adds every member of `other`, in its order.
    Object& add_all(const Object& other);
    bool empty() const { return m_members.empty(); }
    std::string text() const;

private:
    std::vector<std::pair<std::string, std::string>> m_members;
};

}  // namespace orva::app::json
