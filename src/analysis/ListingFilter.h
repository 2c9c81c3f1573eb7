#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace battsim {

// What the filter saw in the simulator's listing.
struct ListingStats
{
    std::uint64_t bytesRead = 0;
    std::uint64_t dataLines = 0;              // lines whose first character is a digit
    std::optional<std::uint64_t> declaredRows; // N of "No. of Data Rows : N", when present
};

// Copies the data lines of a listing: the listing is cut into the pieces that
// fgets with a count of 255 yields (a piece ends after a newline, which it
// keeps, or after 254 characters), and each piece whose first character is an
// ASCII digit is written unchanged (up to a NUL byte, as fputs would).
// Returns false with a reason when a file cannot be opened, read or written.
bool FilterListing(const std::string& listingPath, const std::string& outputPath,
                   ListingStats* stats, std::string* error);

} // namespace battsim
