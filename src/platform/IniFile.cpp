#include "IniFile.h"

#include "AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstring>

namespace battsim {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string Fold(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

// A line's text without the byte-order mark that may open the file.
std::string_view Content(std::string_view text, bool firstLine)
{
    if (firstLine && text.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        text.remove_prefix(kUtf8Bom.size());
    return text;
}

std::optional<std::string_view> SectionName(std::string_view text)
{
    const std::string_view trimmed = Trim(text);
    if (trimmed.empty() || trimmed.front() != '[')
        return std::nullopt;
    std::string_view name = trimmed.substr(1);
    const auto close = name.find(']');
    if (close != std::string_view::npos)
        name = name.substr(0, close);
    return Trim(name);
}

std::optional<std::string_view> KeyName(std::string_view text)
{
    const std::string_view trimmed = Trim(text);
    if (trimmed.empty() || trimmed.front() == ';')
        return std::nullopt;
    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const std::string_view key = Trim(trimmed.substr(0, equals));
    if (key.empty())
        return std::nullopt;
    return key;
}

std::string_view ValueOf(std::string_view text)
{
    std::string_view value = Trim(text.substr(text.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// A value must stay on its line: line breaks would start new keys.
std::string OneLine(std::string_view value)
{
    std::string text(value);
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

} // namespace

CIniFile::CIniFile(std::string_view bytes)
{
    Parse(bytes);
}

bool CIniFile::Load(const std::string& path, CIniFile* file, std::string* error)
{
    std::string bytes;
    int errorNumber = 0;
    if (!ReadWholeFile(path, &bytes, &errorNumber)) {
        if (errorNumber == ENOENT) {
            *file = CIniFile();
            return true;
        }
        if (error)
            *error = "cannot read " + path + ": " + std::strerror(errorNumber);
        return false;
    }
    *file = CIniFile(bytes);
    return true;
}

void CIniFile::Parse(std::string_view bytes)
{
    m_sections.clear();
    m_sectionIndex.clear();
    m_sections.push_back(Section{});

    bool firstLine = true;
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        Line line;
        if (newline == std::string_view::npos) {
            line.text = std::string(bytes);
            bytes = {};
        } else {
            std::size_t textEnd = newline;
            if (textEnd > 0 && bytes[textEnd - 1] == '\r')
                --textEnd;
            line.text = std::string(bytes.substr(0, textEnd));
            line.eol = std::string(bytes.substr(textEnd, newline + 1 - textEnd));
            bytes.remove_prefix(newline + 1);
        }

        const std::string_view content = Content(line.text, firstLine);
        firstLine = false;
        if (const auto name = SectionName(content)) {
            Section section;
            section.name = std::string(*name);
            section.hasHeader = true;
            m_sectionIndex.try_emplace(Fold(section.name), m_sections.size());
            m_sections.push_back(std::move(section));
        }
        Section& current = m_sections.back();
        current.lines.push_back(std::move(line));
        if (current.lines.size() > 1 || !current.hasHeader)
            IndexLine(current, current.lines.size() - 1);
    }
}

void CIniFile::IndexLine(Section& section, std::size_t index)
{
    const bool firstOfFile = !m_sections.empty() && &section == &m_sections.front() && index == 0;
    if (const auto key = KeyName(Content(section.lines[index].text, firstOfFile)))
        section.keys.try_emplace(Fold(*key), index);
}

const CIniFile::Section* CIniFile::FindSection(std::string_view name) const
{
    const auto found = m_sectionIndex.find(Fold(Trim(name)));
    return found == m_sectionIndex.end() ? nullptr : &m_sections[found->second];
}

std::optional<std::string> CIniFile::Value(std::string_view section, std::string_view key) const
{
    const Section* found = FindSection(section);
    if (!found)
        return std::nullopt;
    const auto line = found->keys.find(Fold(Trim(key)));
    if (line == found->keys.end())
        return std::nullopt;
    return std::string(ValueOf(found->lines[line->second].text));
}

std::string CIniFile::GetProfileString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue, std::size_t size) const
{
    std::string value = Value(section, key).value_or(std::string(defaultValue));
    const std::size_t limit = size == 0 ? 0 : size - 1;
    if (value.size() > limit)
        value.resize(limit);
    return value;
}

int CIniFile::GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const auto value = Value(section, key);
    if (!value)
        return defaultValue;
    std::string_view text = *value;
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            break;
        number = number * 10 + (c - '0');
        if (number > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -number : number);
}

std::string CIniFile::DefaultEol() const
{
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            if (!line.eol.empty())
                return line.eol;
        }
    }
    return "\n";
}

void CIniFile::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    const std::string text = std::string(Trim(key)) + "=" + OneLine(value);
    const auto found = m_sectionIndex.find(Fold(Trim(section)));
    if (found != m_sectionIndex.end()) {
        Section& target = m_sections[found->second];
        const auto line = target.keys.find(Fold(Trim(key)));
        if (line != target.keys.end()) {
            std::string& old = target.lines[line->second].text;
            const std::string_view oldKey = *KeyName(old);
            const auto keyStart = static_cast<std::size_t>(oldKey.data() - old.data());
            old = old.substr(0, keyStart) + std::string(oldKey) + "=" + OneLine(value);
            return;
        }
        std::size_t insertAt = target.lines.size();
        while (insertAt > 1 && Trim(target.lines[insertAt - 1].text).empty())
            --insertAt;
        Line& previous = target.lines[insertAt - 1];
        if (previous.eol.empty())
            previous.eol = DefaultEol();
        target.lines.insert(target.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{text, DefaultEol()});
        // Only blank lines follow the new line, so no indexed key moved.
        IndexLine(target, insertAt);
        return;
    }

    const std::string eol = DefaultEol();
    for (auto it = m_sections.rbegin(); it != m_sections.rend(); ++it) {
        if (!it->lines.empty()) {
            if (it->lines.back().eol.empty())
                it->lines.back().eol = eol;
            break;
        }
    }
    Section added;
    added.name = std::string(Trim(section));
    added.hasHeader = true;
    added.lines.push_back(Line{"[" + added.name + "]", eol});
    added.lines.push_back(Line{text, eol});
    IndexLine(added, 1);
    m_sectionIndex.try_emplace(Fold(added.name), m_sections.size());
    m_sections.push_back(std::move(added));
}

std::string CIniFile::Bytes() const
{
    std::string bytes;
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            bytes += line.text;
            bytes += line.eol;
        }
    }
    return bytes;
}

bool CIniFile::Save(const std::string& path, std::string* error) const
{
    return WriteFileAtomically(path, Bytes(), error);
}

} // namespace battsim
