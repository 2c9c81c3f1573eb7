#pragma once

// What the benchmarks share: a private scratch folder, the generated
// simulator listing, the plain newline scan every figure is set against,
// the process's memory figures and the one-line summaries printed at the
// end of each benchmark program.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace bench {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class CScratchDir final
{
public:
    CScratchDir();
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The number of data rows ngspice prints for 5 h at a 0.01 s step.
constexpr std::uint64_t kListingRows = 1'800'011;

// Writes a listing laid out as ngspice -b prints a transient analysis: the
// operating point, "No. of Data Rows : N", then N rows "i\t%e\t%e\t" of a
// discharge curve, with a page heading (form feed, title, blank lines,
// column names and a rule) every 56 rows. Returns the size in bytes.
std::uint64_t WriteNgspiceListing(const std::string& path, std::uint64_t rows);

// The plain scan of a file: read in blocks of `blockSize` bytes, count the
// newlines with memchr. It is the least any line-by-line reader must do.
struct ScanResult
{
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
};
ScanResult MemchrLineScan(const std::string& path, std::size_t blockSize = 1 << 20);

std::uint64_t FileSize(const std::string& path);

// The filter's output of a generated listing of kListingRows rows, the
// model's output file, in a scratch folder of its own.
struct CResultFile
{
    CScratchDir dir;
    std::string output = dir / "LIPO850.FIG";
    std::uint64_t lines = 0;

    // Writes it (the listing is removed again) and counts its lines; false
    // with a reason.
    bool Write(std::string* error);
};

// The floor of a reader of `path`: MemchrLineScan in a benchmark loop, with
// the lines and bytes it processed.
void MemchrFloorLoop(benchmark::State& state, const std::string& path);

// The sample Li-ion cell's minimum voltage, the reader's cut-off.
constexpr double kSampleMinimumVolts = 3.0;

// ReadResultFile on `path` in a benchmark loop, with the lines it processed;
// an error when it does not return `lines` points.
void ResultReaderLoop(benchmark::State& state, const std::string& path, std::uint64_t lines);

// Fields of /proc/self/status in KiB (0 when absent).
std::uint64_t StatusKiB(const char* field);
// Starts a new peak (VmHWM) at the present resident size; false when the
// kernel does not allow it.
bool ResetPeakResident();

// Runs `command` through /bin/sh and returns its standard output.
std::string CommandOutput(const std::string& command, int* status = nullptr);

// Collects what the benchmarks measured (the median of the repetitions
// when there are several, else the one run) while printing the usual
// console report.
class CCollectingReporter final : public benchmark::ConsoleReporter
{
public:
    struct Figure
    {
        double realSeconds = 0.0; // per iteration
        std::map<std::string, double> counters;
        bool valid = false;
    };

    // Colours only on a terminal.
    CCollectingReporter();

    void ReportRuns(const std::vector<Run>& reports) override;

    // The benchmark whose name starts with `name` (arguments are left off).
    const Figure& Get(const std::string& name) const;
    bool Has(const std::string& name) const;

private:
    std::map<std::string, Figure> m_figures;
    std::map<std::string, int> m_medianSeen;
};

// Runs the registered benchmarks with the usual flags, interleaving the
// repetitions of different benchmarks at random unless told otherwise.
// Returns false when benchmark flags were wrong.
bool RunBenchmarks(int argc, char** argv, CCollectingReporter& reporter);

// One summary line, marked so that scripts/bench.sh can pick it out.
void PrintFigure(const std::string& text);

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace bench
