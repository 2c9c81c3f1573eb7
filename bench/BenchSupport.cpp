#include "BenchSupport.h"

#include "ListingFilter.h"
#include "ResultReader.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

CScratchDir::CScratchDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/battsim-bench-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot make a scratch folder: " + std::string(std::strerror(errno)));
    m_path = name.data();
}

CScratchDir::~CScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

namespace {

// Writes through a large buffer.
class CBlockWriter final
{
public:
    explicit CBlockWriter(const std::string& path)
        : m_file(std::fopen(path.c_str(), "wb"))
    {
        if (!m_file)
            throw std::runtime_error("cannot write " + path);
        m_buffer.reserve(kBlock + 4096);
    }
    ~CBlockWriter() { Close(); }

    void Append(const char* data, std::size_t length)
    {
        m_buffer.append(data, length);
        m_nBytes += length;
        if (m_buffer.size() >= kBlock)
            Flush();
    }
    void Append(const std::string& text) { Append(text.data(), text.size()); }

    void Close()
    {
        if (!m_file)
            return;
        Flush();
        std::fclose(m_file);
        m_file = nullptr;
    }

    std::uint64_t Bytes() const { return m_nBytes; }

private:
    static constexpr std::size_t kBlock = 1 << 20;

    void Flush()
    {
        if (!m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
            throw std::runtime_error("cannot write the listing");
        m_buffer.clear();
    }

    std::FILE* m_file;
    std::string m_buffer;
    std::uint64_t m_nBytes = 0;
};

const std::string kRule(80, '-');
const char* const kTitle = "                    constant current analysis. battery test.\n";

// A terminal voltage over time like the sample Li-ion cell's at 0.85 A:
// a sloping plateau, a knee near empty, then the 0.5 mV of an empty cell.
double DischargeVolts(double seconds)
{
    const double emptyAt = 3492.0;
    if (seconds >= emptyAt)
        return 5.0e-4;
    const double soc = 1.0 - seconds / emptyAt;
    return 3.2 + 0.9 * soc - 0.35 * std::exp(-40.0 * soc) + 0.0029 * std::exp(-seconds * 10.0);
}

} // namespace

std::uint64_t WriteNgspiceListing(const std::string& path, std::uint64_t rows)
{
    CBlockWriter out(path);
    out.Append("\nNote: No compatibility mode selected!\n\n\nCircuit: constant current analysis. battery test.\n\n"
               "Doing analysis at TEMP = 27.000000 and TNOM = 27.000000\n\n\n"
               "Initial Transient Solution\n--------------------------\n\n"
               "Node                                   Voltage\n----                                   -------\n");
    const char* const nodes[] = {"x1.pint", "aa", "x1.soc", "x1.sc", "x1.voc", "x1.rs", "x1.rts", "x1.cts",
                                 "x1.rtl", "x1.ctl", "x1.vts", "x1.vtl", "x1.vt", "mid", "dum"};
    char line[160];
    for (const char* node : nodes) {
        const int n = std::snprintf(line, sizeof line, "%-36s%10.6g\n", node, 4.1);
        out.Append(line, static_cast<std::size_t>(n));
    }
    out.Append("\n\n");
    const int n = std::snprintf(line, sizeof line, "No. of Data Rows : %llu\n", static_cast<unsigned long long>(rows));
    out.Append(line, static_cast<std::size_t>(n));

    const std::string heading = std::string(kTitle) + "                    Transient Analysis  Fri Dec 11 14:23:06  2026\n"
        + kRule + "\nIndex   time            v(aa)           \n" + kRule + "\n";
    const std::string pageHeading = "\f\n" + std::string(kTitle) + "\n\nIndex   time            v(aa)           \n" + kRule + "\n";
    out.Append(heading);
    double seconds = 0.0;
    double step = 1.0e-4;
    for (std::uint64_t i = 0; i < rows; ++i) {
        if (i > 0 && i % 56 == 0)
            out.Append(pageHeading);
        const int length = std::snprintf(line, sizeof line, "%llu\t%e\t%e\t\n", static_cast<unsigned long long>(i),
                                         seconds, DischargeVolts(seconds));
        out.Append(line, static_cast<std::size_t>(length));
        seconds += step;
        step = std::min(step * 1.5, 0.01);
    }
    out.Append("\n\nTotal analysis time (seconds) = 10.9\n\nTotal elapsed time (seconds) = 11.2 \n\n");
    out.Close();
    return out.Bytes();
}

ScanResult MemchrLineScan(const std::string& path, std::size_t blockSize)
{
    ScanResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path);
    std::vector<char> block(blockSize);
    for (;;) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        result.bytes += static_cast<std::uint64_t>(got);
        const char* position = block.data();
        const char* const end = position + got;
        while (position < end) {
            const void* newline = std::memchr(position, '\n', static_cast<std::size_t>(end - position));
            if (!newline)
                break;
            ++result.lines;
            position = static_cast<const char*>(newline) + 1;
        }
    }
    ::close(fd);
    return result;
}

bool CResultFile::Write(std::string* error)
{
    const std::string listing = dir / "tmp0x1x0.$$$";
    WriteNgspiceListing(listing, kListingRows);
    const bool filtered = battsim::FilterListing(listing, output, nullptr, error);
    std::remove(listing.c_str());
    lines = filtered ? MemchrLineScan(output).lines : 0;
    if (filtered && lines == 0)
        *error = "the filter wrote no lines to " + output;
    return lines > 0;
}

void MemchrFloorLoop(benchmark::State& state, const std::string& path)
{
    ScanResult scan;
    for (auto _ : state) {
        scan = MemchrLineScan(path);
        benchmark::DoNotOptimize(scan.lines);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(scan.lines) * state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(scan.bytes) * state.iterations());
}

void ResultReaderLoop(benchmark::State& state, const std::string& path, std::uint64_t lines)
{
    std::size_t points = 0;
    for (auto _ : state) {
        const battsim::CResultSeries series = battsim::ReadResultFile(path, kSampleMinimumVolts);
        points = series.Size();
        benchmark::DoNotOptimize(series.volts.data());
    }
    if (points != lines) {
        state.SkipWithError("the reader did not return every line as a point");
        return;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(points) * state.iterations());
}

std::uint64_t FileSize(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

std::uint64_t StatusKiB(const char* field)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    const std::size_t length = std::strlen(field);
    std::uint64_t value = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtoull(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return value;
}

bool ResetPeakResident()
{
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return ok;
}

std::string CommandOutput(const std::string& command, int* status)
{
    std::string output;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return output;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    const int result = ::pclose(pipe);
    if (status)
        *status = result;
    return output;
}

CCollectingReporter::CCollectingReporter()
    : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular)
{
}

void CCollectingReporter::ReportRuns(const std::vector<Run>& reports)
{
    for (const Run& run : reports) {
        if (run.error_occurred)
            continue;
        const std::string& name = run.run_name.function_name;
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !median)
            continue;
        if (!median && m_medianSeen[name] > 0)
            continue;
        if (median)
            ++m_medianSeen[name];
        Figure figure;
        figure.realSeconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        for (const auto& [counter, value] : run.counters)
            figure.counters[counter] = value.value;
        figure.valid = true;
        m_figures[name] = figure;
    }
    ConsoleReporter::ReportRuns(reports);
}

bool CCollectingReporter::Has(const std::string& name) const
{
    const auto found = m_figures.find(name);
    return found != m_figures.end() && found->second.valid;
}

const CCollectingReporter::Figure& CCollectingReporter::Get(const std::string& name) const
{
    static const Figure missing;
    const auto found = m_figures.find(name);
    return found == m_figures.end() ? missing : found->second;
}

bool RunBenchmarks(int argc, char** argv, CCollectingReporter& reporter)
{
    std::vector<char*> args(argv, argv + argc);
    bool interleavingGiven = false;
    for (int i = 1; i < argc; ++i)
        interleavingGiven |= std::strncmp(argv[i], "--benchmark_enable_random_interleaving", 38) == 0;
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (!interleavingGiven)
        args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

void PrintFigure(const std::string& text)
{
    std::fflush(stdout);
    std::printf("\nFIGURE %s\n", text.c_str()); // the console report may end without a newline
    std::fflush(stdout);
}

std::string Format(const char* pattern, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

} // namespace bench
