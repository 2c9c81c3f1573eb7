#pragma once

#include <optional>
#include <string>
#include <string_view>

// Number <-> text conversions that never depend on the user's locale: the
// netlist, the catalogue and the dialogs always use a decimal point.
namespace battsim {

// printf "%.*f": at least one digit before the point, `decimals` after.
std::string FormatFixed(double value, int decimals);

// printf "%f": at least one digit before the point, exactly six after.
std::string FormatFixed6(double value);

// printf "%.*g" with precision 15, as the dialogs show numbers.
std::string FormatG15(double value);

// printf "%.*g" with the given precision.
std::string FormatG(double value, int precision);

// printf "%.15g", "%.16g" or "%.17g", the first that reads back to the
// same double.
std::string FormatExact(double value);

// C strtod in the C locale on a NUL-terminated text: returns the value and
// sets *consumed to the number of characters used (0 when none).
double StrtodC(const char* text, std::size_t* consumed);

// scanf "%Lf" in the C locale: blanks skipped, then a number, anything
// after it ignored. Empty result when no number can be read there.
std::optional<double> ScanNumberPrefix(std::string_view text);

} // namespace battsim
