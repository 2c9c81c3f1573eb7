#pragma once

#include <cstddef>
#include <string>

namespace battsim {

// The model-file scrambling: byte i is combined with (i mod 256) XOR 0xA6.
// Applying it twice gives the original bytes back.
constexpr unsigned char kScrambleKey = 0xA6;

void ScrambleBuffer(unsigned char* data, std::size_t length);

// Reads `source`, unscrambles it and writes `destination` as a new private
// file (mode 0600). An existing file or symbolic link at `destination` is
// removed first and the new file is never opened through a link. Throws
// CFileError on any failure, leaving no partial destination behind.
void UnscrambleFile(const std::string& source, const std::string& destination);

} // namespace battsim
