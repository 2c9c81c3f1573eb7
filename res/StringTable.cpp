#include "StringTable.h"

#include <array>
#include <utility>

namespace battsim {

namespace {

constexpr std::array<std::pair<int, const char*>, 9> kStrings{{
    {IDS_KEY_MODEL_NAME, "MODEL_NAME"},
    {IDS_KEY_MODEL_DESCR, "MODEL_DESCR"},
    {IDS_KEY_MODEL_FILE, "MODEL_FILE"},
    {IDS_KEY_PARAM_FILE, "PARAM_FILE"},
    {IDS_KEY_OUTPUT_FILE, "OUTPUT_FILE"},
    {IDS_KEY_IRAT, "IRAT"},
    {IDS_KEY_EMAX, "EMAX"},
    {IDS_KEY_EMIN, "EMIN"},
    {IDS_ABOUTBOX, "&About Zorbel..."},
}};

} // namespace

std::string LoadResString(int id)
{
    for (const auto& [number, text] : kStrings) {
        if (number == id)
            return text;
    }
    return {};
}

} // namespace battsim
