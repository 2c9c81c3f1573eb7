#include "DataExchangeRules.h"

#include "NumberText.h"

namespace battsim {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the plain decimal number at the start of `text`:
// [+-] (digits [. digits] | . digits) [e|E [+-] digits], or 0.
std::size_t PlainNumberLength(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        const std::size_t exponentStart = j;
        while (j < text.size() && IsDigit(text[j]))
            ++j;
        if (j > exponentStart)
            i = j;
    }
    return i;
}

} // namespace

std::string ShowDouble(double value)
{
    return FormatG15(value);
}

std::optional<double> TakeDouble(std::string_view text)
{
    text = text.substr(0, kMaxFieldCharacters);
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    const char first = text.empty() ? '\0' : text.front();
    const std::size_t length = PlainNumberLength(text);
    if (length == 0)
        return std::nullopt;
    const std::string number(text.substr(0, length));
    const double value = StrtodC(number.c_str(), nullptr);
    if (value == 0.0 && first != '0')
        return std::nullopt;
    std::string_view rest = text.substr(length);
    while (!rest.empty() && IsBlank(rest.front()))
        rest.remove_prefix(1);
    if (!rest.empty())
        return std::nullopt;
    return value;
}

std::string RangeMessage(double minimum, double maximum)
{
    return "Please enter a number between " + ShowDouble(minimum) + " and " + ShowDouble(maximum) + ".";
}

} // namespace battsim
