#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace battsim {

// Replaces the file at `path` with `bytes` so that a crash, a full disk or a
// failed write leaves either the old file or the new one, never a mix: the
// bytes go to a sibling file, are flushed and synced, and are renamed over
// the old file. A symbolic link at `path` is kept and its target replaced.
// The old file's permission bits are kept. Returns false with a reason.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

// Writes all of `bytes` to `fd`, going on after short writes and EINTR.
// Returns false with errno in *errorNumber. *written, when given, is how
// many bytes were written, also when it fails.
bool WriteAll(int fd, std::string_view bytes, int* errorNumber, std::size_t* written = nullptr);

// Removes whatever is at `path` and creates it anew (mode 0644 before the
// umask, never through a symbolic link) with `text`; false with errno in
// *errorNumber, the create, the write or the close having failed.
bool WriteNewTextFile(const std::string& path, std::string_view text, int* errorNumber);

// Reads a whole file. Returns false with errno in *errorNumber (ENOENT when
// the file does not exist).
bool ReadWholeFile(const std::string& path, std::string* bytes, int* errorNumber);

} // namespace battsim
