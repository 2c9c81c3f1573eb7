// Fuzzes the listing filter against the plain C loop it stands in for:
//
//     while (fgets(buffer, 255, listing))
//         if (isdigit(buffer[0]))
//             fputs(buffer, output);
//
// Input: the listing (an input opening with B1 1B is first expanded into a
// file larger than the filter's read chunk, see FuzzSupport.h).
//
// Properties checked on every input:
//  1. The filter succeeds and its output file is byte-identical to what the
//     loop above writes.
//  2. bytesRead is the listing's size; dataLines counts the lines (not the
//     pieces) whose first byte is an ASCII digit.
//  3. declaredRows is empty when no "No. of Data Rows :" appears; when
//     exactly one line holds it, that line is short (under 120 bytes) and
//     reads [blanks/tabs]No. of Data Rows :[blanks]N with 1 to 18 digits,
//     declaredRows is N.

#include "FuzzSupport.h"
#include "ListingFilter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kMarker = "No. of Data Rows :";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

struct Reference
{
    std::string output;
    std::uint64_t dataLines = 0;
};

Reference FilterWithStdio(const std::string& path, std::string_view content)
{
    FILE* listing = std::fopen(path.c_str(), "rb");
    if (!listing)
        fuzzsupport::Fatal("cannot open", path);
    char* memory = nullptr;
    std::size_t memorySize = 0;
    FILE* output = open_memstream(&memory, &memorySize);
    if (!output)
        fuzzsupport::Fatal("cannot open a memory stream for", path);

    Reference reference;
    char buffer[255];
    bool lineStart = true;
    std::size_t at = 0; // where the piece starts in the file
    while (std::fgets(buffer, sizeof buffer, listing)) {
        // fgets does not tell how long the piece was when it holds a NUL;
        // the file's own bytes do, and the piece is checked against them.
        const std::size_t length = fuzzsupport::PieceLength(content, at, sizeof buffer - 1);
        FUZZ_CHECK(length > 0 && std::memcmp(buffer, content.data() + at, length) == 0 && buffer[length] == '\0',
                   "fgets and the file disagree at byte %zu", at);
        at += length;
        if (IsDigit(buffer[0])) {
            std::fputs(buffer, output);
            if (lineStart)
                ++reference.dataLines;
        }
        lineStart = buffer[length - 1] == '\n';
    }
    FUZZ_CHECK(!std::ferror(listing));
    FUZZ_CHECK(at == content.size(), "fgets stopped at byte %zu of %zu", at, content.size());
    std::fclose(listing);
    std::fclose(output);
    reference.output.assign(memory, memorySize);
    std::free(memory);
    return reference;
}

// N when exactly one line holds the marker in the plain form, else nothing;
// `anywhere` tells whether the marker appears at all.
std::optional<std::uint64_t> PlainDeclaredRows(std::string_view content, bool* anywhere)
{
    *anywhere = content.find(kMarker) != std::string_view::npos;
    std::optional<std::uint64_t> found;
    int holders = 0;
    while (!content.empty()) {
        const auto newline = content.find('\n');
        std::string_view line = content.substr(0, newline);
        content = newline == std::string_view::npos ? std::string_view() : content.substr(newline + 1);
        if (line.find(kMarker) == std::string_view::npos)
            continue;
        ++holders;
        if (line.size() >= 120)
            continue;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.substr(0, kMarker.size()) != kMarker)
            continue;
        line.remove_prefix(kMarker.size());
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        std::uint64_t value = 0;
        std::size_t digits = 0;
        while (digits < line.size() && IsDigit(line[digits]))
            value = value * 10 + static_cast<std::uint64_t>(line[digits++] - '0');
        if (digits >= 1 && digits <= 18)
            found = value;
    }
    return holders == 1 ? found : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string content = fuzzsupport::FileContent(data, size);
    const std::string listingPath = fuzzsupport::ScratchPath("input");
    const std::string outputPath = fuzzsupport::ScratchPath("output");
    fuzzsupport::WriteWholeFile(listingPath, content);

    battsim::ListingStats stats;
    std::string error;
    FUZZ_CHECK(battsim::FilterListing(listingPath, outputPath, &stats, &error), "%s", error.c_str());
    const std::string filtered = fuzzsupport::ReadWholeFileOrDie(outputPath);

    const Reference reference = FilterWithStdio(listingPath, content);
    if (filtered != reference.output) {
        std::size_t at = 0;
        while (at < filtered.size() && at < reference.output.size() && filtered[at] == reference.output[at])
            ++at;
        FUZZ_CHECK(false, "output differs at byte %zu: %zu bytes written, %zu expected", at, filtered.size(),
                   reference.output.size());
    }
    FUZZ_CHECK(stats.bytesRead == content.size());
    FUZZ_CHECK(stats.dataLines == reference.dataLines, "%llu data lines, %llu expected",
               static_cast<unsigned long long>(stats.dataLines),
               static_cast<unsigned long long>(reference.dataLines));

    bool anywhere = false;
    const std::optional<std::uint64_t> rows = PlainDeclaredRows(content, &anywhere);
    if (!anywhere)
        FUZZ_CHECK(!stats.declaredRows, "a row count without the marker");
    if (rows)
        FUZZ_CHECK(stats.declaredRows == rows, "row count %llu, %llu expected",
                   static_cast<unsigned long long>(stats.declaredRows.value_or(0)),
                   static_cast<unsigned long long>(*rows));
    return 0;
}
