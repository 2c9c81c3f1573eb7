#include "NumberText.h"

#include <array>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace battsim {

namespace {

std::string ToChars(double value, std::chars_format format, int precision)
{
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format, precision);
    return std::string(buffer.data(), result.ptr);
}

locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

} // namespace

std::string FormatFixed(double value, int decimals)
{
    return ToChars(value, std::chars_format::fixed, decimals);
}

std::string FormatFixed6(double value)
{
    return FormatFixed(value, 6);
}

std::string FormatG(double value, int precision)
{
    return ToChars(value, std::chars_format::general, precision);
}

std::string FormatG15(double value)
{
    return FormatG(value, 15);
}

std::string FormatExact(double value)
{
    // The fewest of 15, 16 or 17 digits that give the same double back:
    // 0.85 stays "0.85" instead of "0.84999999999999998".
    for (int precision = 15; precision < 17; ++precision) {
        std::string text = ToChars(value, std::chars_format::general, precision);
        if (StrtodC(text.c_str(), nullptr) == value)
            return text;
    }
    return ToChars(value, std::chars_format::general, 17);
}

double StrtodC(const char* text, std::size_t* consumed)
{
    char* end = nullptr;
    const double value = strtod_l(text, &end, CLocale());
    if (consumed)
        *consumed = static_cast<std::size_t>(end - text);
    return value;
}

std::optional<double> ScanNumberPrefix(std::string_view text)
{
    // scanf's own conversion: it differs from strtod on cut-off forms such
    // as "0x" or "1e+", which it refuses.
    const std::string copy(text);
    long double value = 0;
    const locale_t previous = uselocale(CLocale());
    const int converted = std::sscanf(copy.c_str(), "%Lf", &value);
    uselocale(previous);
    if (converted != 1)
        return std::nullopt;
    return static_cast<double>(value);
}

} // namespace battsim
