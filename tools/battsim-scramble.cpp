// battsim-scramble: turns a plain model file into the scrambled form that
// the catalogue's model files are stored in, and back (the transformation is
// its own inverse).

#include "AtomicFile.h"
#include "Scrambler.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void PrintUsage(std::FILE* stream)
{
    std::fputs("Usage: battsim-scramble IN OUT\n"
               "Scrambles the model file IN into OUT, or unscrambles a scrambled one:\n"
               "byte i is combined with (i mod 256) XOR 0xA6, so running the tool twice\n"
               "gives the original file back. OUT is replaced only when all of it is written.\n",
               stream);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc != 3) {
        PrintUsage(stderr);
        return 2;
    }

    std::string bytes;
    int errorNumber = 0;
    if (!battsim::ReadWholeFile(argv[1], &bytes, &errorNumber)) {
        std::fprintf(stderr, "battsim-scramble: cannot read %s: %s\n", argv[1], std::strerror(errorNumber));
        return 1;
    }
    battsim::ScrambleBuffer(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
    std::string error;
    if (!battsim::WriteFileAtomically(argv[2], bytes, &error)) {
        std::fprintf(stderr, "battsim-scramble: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
