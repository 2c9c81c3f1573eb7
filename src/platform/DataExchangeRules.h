#pragma once

#include <optional>
#include <string>
#include <string_view>

// The rules by which dialog fields show and take numbers, apart from any
// widget: shown with "%.*g" and precision 15; taken from at most 31
// characters, blanks and tabs around the number allowed, nothing else.
namespace battsim {

inline constexpr std::size_t kMaxFieldCharacters = 31;

inline constexpr const char* kPromptNumber = "Please enter a number.";

std::string ShowDouble(double value);

// The number in the field's text, or nothing when the text is not a number:
// empty, other characters after the number, a form other than plain decimal
// (hex, "inf", "nan"), or a zero whose text does not begin with the digit 0.
std::optional<double> TakeDouble(std::string_view text);

// "Please enter a number between %1 and %2." with the bounds shown as
// ShowDouble shows them.
std::string RangeMessage(double minimum, double maximum);

} // namespace battsim
