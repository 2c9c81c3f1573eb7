#pragma once

#include <string>

namespace battsim {

// The program's string table, entries by number.
enum StringId : int {
    IDS_KEY_MODEL_NAME = 1,
    IDS_KEY_MODEL_DESCR = 2,
    IDS_KEY_MODEL_FILE = 3,
    IDS_KEY_PARAM_FILE = 4,
    IDS_KEY_OUTPUT_FILE = 5,
    IDS_KEY_IRAT = 6,
    IDS_KEY_EMAX = 7,
    IDS_KEY_EMIN = 8,
    IDS_ABOUTBOX = 101,
};

// The text of entry `id`, or an empty text when the table has no such entry.
std::string LoadResString(int id);

} // namespace battsim
