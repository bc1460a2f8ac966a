#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vwnlog
{
// The log4j 1.x properties format as java.util.Properties reads it, except
// that a backslash before an ordinary character stays: "C:\ProgramData\x.log"
// keeps its backslashes. Recognised escapes: "\\", "\uXXXX", and a backslash
// before '=', ':', '#', '!' or a blank.
class Properties
{
public:
    static Properties Parse(std::wstring_view text);

    // A later value for the same key replaces the earlier one (as in Java).
    void Set(const std::wstring& key, const std::wstring& value);
    // The value as written, escapes resolved, or nullptr.
    const std::wstring* Raw(std::wstring_view key) const;
    // The value with every ${NAME} replaced; empty when the key is absent.
    std::optional<std::wstring> Get(std::wstring_view key) const;
    // ${NAME}: an environment variable, else another key of this file, else
    // nothing. Replacements are substituted again, to a limited depth.
    std::wstring Substitute(std::wstring_view text) const;

    const std::vector<std::pair<std::wstring, std::wstring>>& Entries() const { return m_entries; }

private:
    std::wstring Substitute(std::wstring_view text, int depth) const;
    std::wstring Lookup(const std::wstring& name, int depth) const;

    std::vector<std::pair<std::wstring, std::wstring>> m_entries;
};
} // namespace vwnlog
