// Fuzzes the INI layer (reading, rewriting) and the catalogue that loads
// through it.
//
// Input: the INI bytes, optionally followed by the three bytes 00 00 00 and
// a trailer "section\0key\0value" naming one more write to try. Without a
// trailer, the writes are made up from names seen in the INI text and a set
// of awkward values.
//
// Properties checked on every input:
//  1. CIniFile(x).Bytes() == x, byte for byte.
//  2. Names match without regard to ASCII case and surrounding blanks:
//     Value(s, k) == Value(" " + upper(s) + "\t", lower(k)).
//  3. GetProfileString is Value (or the default) cut to size - 1 bytes;
//     GetProfileInt is the value's leading [+-]digits read as a decimal
//     number (0 without digits), clamped to the int range, or the default
//     for a missing key.
//  4. After SetValue(s, k, v), for a section name without line breaks and
//     ']' and a key name that is not empty, holds no line break and no '='
//     and opens with neither ';' nor '[' (the names a caller can use):
//       - a re-parse gives Value(s, k) == Expected(v), where Expected turns
//         CR and LF into blanks, trims blanks and tabs at both ends and then
//         drops one pair of matching quotes ("..." or '...', two characters
//         at least) around the whole value, as the reader does for any value;
//       - every input line whose text does not hold the key (ASCII case
//         ignored) is still there, in order, with its text and its line end
//         (a last line without a line end keeps its bytes and may gain a
//         line end after them); at most two lines
//         are added and none removed;
//       - every other key seen in the input keeps its value;
//       - writing the same key again replaces its line in place (the line
//         count stays).
//  5. The catalogue read from the same bytes as a file holds
//     clamp(NUMBER, 0, 10000) models, each field read from its MODEL_i
//     section as documented ("Default" for a missing text, cut to 255 bytes;
//     a number is the C strtod prefix of the value, or 0 when none).
//  6. Writing those models back (as the catalogue's Save does, but in
//     memory) and reading them again gives the same count, the same numbers
//     bit for bit (NaN stays NaN), and the same texts where the INI line can
//     carry them (no CR or LF, no blank or tab at either end, not wrapped in
//     a pair of matching quotes).

#include "BatteryModel.h"
#include "FuzzSupport.h"
#include "IniFile.h"
#include "ModelCatalog.h"
#include "StringTable.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using battsim::CBatteryModel;
using battsim::CIniFile;
using battsim::CModelCatalog;

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimNames(std::string_view text)
{
    // Names are trimmed of blanks, tabs and carriage returns.
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::string Upper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

std::string Expected(std::string_view value)
{
    std::string text(value);
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::string_view view = text;
    while (!view.empty() && IsBlank(view.front()))
        view.remove_prefix(1);
    while (!view.empty() && IsBlank(view.back()))
        view.remove_suffix(1);
    if (view.size() >= 2 && (view.front() == '"' || view.front() == '\'') && view.back() == view.front())
        view = view.substr(1, view.size() - 2);
    return std::string(view);
}

bool UsableSection(std::string_view section)
{
    const std::string_view name = TrimNames(section);
    return name.find_first_of("\r\n]") == std::string_view::npos;
}

bool UsableKey(std::string_view key)
{
    const std::string_view name = TrimNames(key);
    return !name.empty() && name.find_first_of("\r\n=") == std::string_view::npos && name.front() != ';'
        && name.front() != '[';
}

struct Line
{
    std::string text;
    std::string eol;
};

// Lines as the file holds them: each ends after '\n' ("\r\n" or "\n" is its
// line end), the last may have none.
std::vector<Line> SplitLines(std::string_view bytes)
{
    std::vector<Line> lines;
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            lines.push_back({std::string(bytes), ""});
            break;
        }
        std::size_t end = newline;
        if (end > 0 && bytes[end - 1] == '\r')
            --end;
        lines.push_back({std::string(bytes.substr(0, end)), std::string(bytes.substr(end, newline + 1 - end))});
        bytes.remove_prefix(newline + 1);
    }
    return lines;
}

struct Name
{
    std::string section;
    std::string key;
};

// Section and key names as they appear in the text, found loosely: any pair
// will do for the properties, whether the reader sees it or not.
std::vector<Name> NamesSeen(std::string_view bytes, std::size_t limit)
{
    std::vector<Name> names;
    std::string section;
    for (const Line& line : SplitLines(bytes)) {
        std::string_view text = TrimNames(line.text);
        if (!text.empty() && text.front() == '[') {
            text.remove_prefix(1);
            section = std::string(text.substr(0, text.find(']')));
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        names.push_back({section, std::string(text.substr(0, equals))});
        if (names.size() >= limit)
            break;
    }
    return names;
}

void CheckReads(const CIniFile& file, const Name& name, std::size_t size)
{
    const std::optional<std::string> value = file.Value(name.section, name.key);
    const std::optional<std::string> folded = file.Value(" " + Upper(name.section) + "\t", Lower(name.key));
    FUZZ_CHECK(value == folded, "[%s] %s", name.section.c_str(), name.key.c_str());

    const std::string fallback = "fallback value";
    std::string expectedText = value.value_or(fallback);
    if (expectedText.size() > (size == 0 ? 0 : size - 1))
        expectedText.resize(size == 0 ? 0 : size - 1);
    FUZZ_CHECK(file.GetProfileString(name.section, name.key, fallback, size) == expectedText);

    int expectedInt = -12345;
    if (value) {
        std::string_view text = *value;
        bool negative = false;
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            negative = text.front() == '-';
            text.remove_prefix(1);
        }
        long long magnitude = 0;
        for (const char c : text) {
            if (c < '0' || c > '9')
                break;
            if (magnitude <= 1LL << 40)
                magnitude = magnitude * 10 + (c - '0');
        }
        const long long number = negative ? -magnitude : magnitude;
        expectedInt = number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : static_cast<int>(number);
    }
    FUZZ_CHECK(file.GetProfileInt(name.section, name.key, -12345) == expectedInt, "value '%s'",
               value ? value->c_str() : "(none)");
}

void CheckWrite(std::string_view input, const CIniFile& original, const Name& name, const std::string& value,
                const std::vector<Name>& others)
{
    CIniFile file = original;
    file.SetValue(name.section, name.key, value);
    const std::string written = file.Bytes();
    const CIniFile reread(written);
    FUZZ_CHECK(reread.Bytes() == written);
    if (!UsableSection(name.section) || !UsableKey(name.key))
        return;

    const std::optional<std::string> got = reread.Value(name.section, name.key);
    FUZZ_CHECK(got && *got == Expected(value), "[%s] %s = '%s' read back as '%s'", name.section.c_str(),
               name.key.c_str(), value.c_str(), got ? got->c_str() : "(none)");
    FUZZ_CHECK(file.Value(name.section, name.key) == got, "the written document disagrees with its re-parse");

    // Lines not holding the key stay, in order, with their bytes.
    const std::vector<Line> before = SplitLines(input);
    const std::vector<Line> after = SplitLines(written);
    FUZZ_CHECK(after.size() >= before.size() && after.size() <= before.size() + 2, "%zu lines became %zu",
               before.size(), after.size());
    const std::string key = Lower(TrimNames(name.key));
    std::size_t at = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (Lower(before[i].text).find(key) != std::string::npos)
            continue;
        const bool last = i + 1 == before.size();
        // A last line without a line end keeps its bytes and may gain one; a
        // CR that closed it then reads as part of that new line end.
        const auto kept = [&](const Line& line) {
            if (last && before[i].eol.empty())
                return (line.text + line.eol).compare(0, before[i].text.size(), before[i].text) == 0;
            return line.text == before[i].text && line.eol == before[i].eol;
        };
        while (at < after.size() && !kept(after[at]))
            ++at;
        FUZZ_CHECK(at < after.size(), "input line %zu ('%s') is gone or changed", i, before[i].text.c_str());
        ++at;
    }

    // Other keys keep their values.
    const std::string section = Lower(TrimNames(name.section));
    for (const Name& other : others) {
        if (Lower(TrimNames(other.section)) == section && Lower(TrimNames(other.key)) == key)
            continue;
        FUZZ_CHECK(original.Value(other.section, other.key) == reread.Value(other.section, other.key),
                   "writing [%s] %s changed [%s] %s", name.section.c_str(), name.key.c_str(),
                   other.section.c_str(), other.key.c_str());
    }

    // A second write of the key replaces its line.
    CIniFile again = reread;
    again.SetValue(name.section, name.key, "second");
    FUZZ_CHECK(SplitLines(again.Bytes()).size() == after.size());
    FUZZ_CHECK(CIniFile(again.Bytes()).Value(name.section, name.key) == std::optional<std::string>("second"));
}

locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

constexpr std::array<int, 5> kTextKeys{battsim::IDS_KEY_MODEL_NAME, battsim::IDS_KEY_MODEL_DESCR,
                                       battsim::IDS_KEY_MODEL_FILE, battsim::IDS_KEY_PARAM_FILE,
                                       battsim::IDS_KEY_OUTPUT_FILE};
constexpr std::array<int, 3> kNumberKeys{battsim::IDS_KEY_IRAT, battsim::IDS_KEY_EMAX, battsim::IDS_KEY_EMIN};

std::array<const std::string*, 5> Texts(const CBatteryModel& model)
{
    return {&model.m_strName, &model.m_strDescr, &model.m_strModelFile, &model.m_strParamFile,
            &model.m_strOutputFile};
}

std::array<double, 3> Numbers(const CBatteryModel& model)
{
    return {model.m_dIrat, model.m_dEmax, model.m_dEmin};
}

bool SameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool CarriedByALine(const std::string& text)
{
    if (text.find_first_of("\r\n") != std::string::npos)
        return false;
    if (!text.empty() && (IsBlank(text.front()) || IsBlank(text.back())))
        return false;
    return !(text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front());
}

void CheckCatalog(std::string_view input, const CIniFile& file)
{
    const std::string path = fuzzsupport::ScratchPath("catalog.md");
    fuzzsupport::WriteWholeFile(path, input);
    const CModelCatalog catalog(path);

    const int number = file.GetProfileInt("COMMON", "NUMBER", 0);
    const std::size_t expectedCount =
        number <= 0 ? 0 : static_cast<std::size_t>(std::min(number, CModelCatalog::kMaxEntries));
    FUZZ_CHECK(catalog.GetCount() == expectedCount, "NUMBER %d gave %zu models", number, catalog.GetCount());

    for (std::size_t i = 0; i < catalog.GetCount(); ++i) {
        const CBatteryModel& model = *catalog.GetAt(i);
        const std::string section = "MODEL_" + std::to_string(i);
        const auto texts = Texts(model);
        for (std::size_t t = 0; t < kTextKeys.size(); ++t) {
            std::string expected = file.Value(section, battsim::LoadResString(kTextKeys[t])).value_or("Default");
            if (expected.size() > 255)
                expected.resize(255);
            FUZZ_CHECK(*texts[t] == expected, "model %zu text %zu", i, t);
        }
        const auto numbers = Numbers(model);
        for (std::size_t n = 0; n < kNumberKeys.size(); ++n) {
            std::string text = file.Value(section, battsim::LoadResString(kNumberKeys[n])).value_or("Default");
            if (text.size() > 255)
                text.resize(255);
            // As scanf "%Lf" reads it (strtod takes more: "infI" gives inf
            // there, nothing here); without a number the field stays 0.
            long double parsed = 0;
            const locale_t previous = uselocale(CLocale());
            const int converted = std::sscanf(text.c_str(), "%Lf", &parsed);
            uselocale(previous);
            const double expected = converted == 1 ? static_cast<double>(parsed) : 0.0;
            FUZZ_CHECK(SameDouble(numbers[n], expected), "model %zu number %zu from '%s'", i, n, text.c_str());
        }
    }

    // Written back and read again. Kept to small catalogues for speed.
    if (catalog.GetCount() > 64)
        return;
    CIniFile saved = file;
    saved.SetValue("COMMON", "NUMBER", std::to_string(catalog.GetCount()));
    for (std::size_t i = 0; i < catalog.GetCount(); ++i)
        catalog.GetAt(i)->WriteToProfile(saved, "MODEL_" + std::to_string(i));
    const CIniFile reread(saved.Bytes());
    FUZZ_CHECK(reread.GetProfileInt("COMMON", "NUMBER", -1) == static_cast<int>(catalog.GetCount()));
    for (std::size_t i = 0; i < catalog.GetCount(); ++i) {
        CBatteryModel back;
        back.ReadFromProfile(reread, "MODEL_" + std::to_string(i));
        const CBatteryModel& model = *catalog.GetAt(i);
        const auto numbersBefore = Numbers(model);
        const auto numbersAfter = Numbers(back);
        for (std::size_t n = 0; n < numbersBefore.size(); ++n)
            FUZZ_CHECK(SameDouble(numbersBefore[n], numbersAfter[n]), "model %zu number %zu: %.17g became %.17g", i,
                       n, numbersBefore[n], numbersAfter[n]);
        const auto textsBefore = Texts(model);
        const auto textsAfter = Texts(back);
        for (std::size_t t = 0; t < textsBefore.size(); ++t) {
            if (CarriedByALine(*textsBefore[t]))
                FUZZ_CHECK(*textsBefore[t] == *textsAfter[t], "model %zu text %zu: '%s' became '%s'", i, t,
                           textsBefore[t]->c_str(), textsAfter[t]->c_str());
        }
    }
}

const char* const kValues[] = {
    "plain", "  padded\t", "\"quoted\"", "'single'", "two\r\nlines", "", "\"", "x=y ; not a comment",
    "'mismatched\"", "\tlead\n",
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    std::string_view input = whole;
    std::optional<Name> extra;
    std::string extraValue;
    if (const auto split = whole.find(std::string_view("\0\0\0", 3)); split != std::string_view::npos) {
        input = whole.substr(0, split);
        std::string_view trailer = whole.substr(split + 3);
        const auto first = trailer.find('\0');
        const auto second = first == std::string_view::npos ? first : trailer.find('\0', first + 1);
        if (second != std::string_view::npos) {
            extra = Name{std::string(trailer.substr(0, first)), std::string(trailer.substr(first + 1, second - first - 1))};
            extraValue = std::string(trailer.substr(second + 1));
        }
    }

    const CIniFile file(input);
    FUZZ_CHECK(file.Bytes() == input, "the bytes did not come back unchanged");

    std::vector<Name> names = NamesSeen(input, 6);
    const std::vector<Name> others = names;
    names.push_back({"COMMON", "NUMBER"});
    names.push_back({"no such section", "key"});
    if (!others.empty())
        names.push_back({others.front().section, "no_such_key"});
    if (extra)
        names.push_back(*extra);

    for (std::size_t i = 0; i < names.size(); ++i)
        CheckReads(file, names[i], i % 3 == 0 ? 256 : i % 3 == 1 ? 1 : 4);

    std::size_t valueIndex = size;
    for (const Name& name : names) {
        CheckWrite(input, file, name, kValues[valueIndex++ % std::size(kValues)], others);
        if (extra)
            CheckWrite(input, file, name, extraValue, others);
    }

    CheckCatalog(input, file);
    return 0;
}
