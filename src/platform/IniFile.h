#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace battsim {

// An INI file held as its own bytes. Reading follows the classic private
// profile rules: section and key names match without regard to ASCII case,
// names and values are trimmed of blanks, a value in matching quotes loses
// them, lines starting with ';' are comments, keys before the first section
// belong to no section, and the first of duplicate sections or keys wins.
// Writing replaces an existing key's line in place, appends a missing key
// after the last non-blank line of its section and a missing section at the
// end; every line it does not write keeps its bytes, line end included.
class CIniFile final
{
public:
    CIniFile() = default;
    explicit CIniFile(std::string_view bytes);

    // Loads `path`. A missing file gives an empty document and true; any
    // other read failure gives false with a reason.
    static bool Load(const std::string& path, CIniFile* file, std::string* error);

    // The key's value (trimmed, quotes removed), or nothing when the section
    // or the key is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

    // Like the platform call: the value or `defaultValue`, cut to size - 1 bytes.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue, std::size_t size) const;

    // The value read as a decimal integer, 0 when it holds none, `defaultValue`
    // when the key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;

    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    std::string Bytes() const;

    // Writes the document over `path` atomically.
    bool Save(const std::string& path, std::string* error) const;

private:
    struct Line
    {
        std::string text; // without its line end
        std::string eol;  // "\n", "\r\n" or "" for a last line without one
    };

    struct Section
    {
        std::string name;          // as written, trimmed; empty for the lines before the first section
        bool hasHeader = false;
        std::vector<Line> lines;   // the header first when hasHeader
        std::unordered_map<std::string, std::size_t> keys; // folded key -> index in lines
    };

    void Parse(std::string_view bytes);
    void IndexLine(Section& section, std::size_t index);
    const Section* FindSection(std::string_view name) const;
    std::string DefaultEol() const;

    std::vector<Section> m_sections;
    std::unordered_map<std::string, std::size_t> m_sectionIndex; // folded name -> first section
};

} // namespace battsim
