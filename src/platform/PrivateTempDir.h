#pragma once

#include <string>

namespace battsim {

// A per-user directory for private temporary files, ending in "/":
// $XDG_RUNTIME_DIR/battsim/ when XDG_RUNTIME_DIR is a 0700 directory owned
// by the user, else ${TMPDIR:-/tmp}/battsim-<uid>/. It is created 0700; an
// existing one must be a real directory (not a link) owned by the user, and
// is narrowed to 0700. Returns false with a reason when no such directory
// can be had.
bool PrivateTempDirectory(std::string* path, std::string* error);

} // namespace battsim
