// The listing filter against the plain newline scan of the same listing: a
// generated 66 MB listing laid out as ngspice prints 5 h at a 0.01 s step.

#include "BenchSupport.h"
#include "ListingFilter.h"

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

struct Files
{
    bench::CScratchDir dir;
    std::string listing = dir / "tmp0x1x0.$$$";
    std::string output = dir / "LIPO850.FIG";
    std::string copy = dir / "copy.lst";
    std::uint64_t listingBytes = 0;
};

std::unique_ptr<Files> g_files;

void BM_ListingMemchrFloor(benchmark::State& state)
{
    bench::ScanResult scan;
    for (auto _ : state) {
        scan = bench::MemchrLineScan(g_files->listing);
        benchmark::DoNotOptimize(scan.lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(scan.bytes) * state.iterations());
    state.counters["lines"] = static_cast<double>(scan.lines);
}

// The previous output is put on disk between two filter runs, outside the
// clock, as the simulator's run of many seconds leaves it in the program:
// rewriting a file whose pages are still being written back waits for
// them, which is a matter of back-to-back runs only.
void SyncOutput(benchmark::State& state, const std::string& path)
{
    state.PauseTiming();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    state.ResumeTiming();
}

void BM_ListingFilter(benchmark::State& state)
{
    battsim::ListingStats stats;
    for (auto _ : state) {
        SyncOutput(state, g_files->output);
        std::string error;
        if (!battsim::FilterListing(g_files->listing, g_files->output, &stats, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    if (stats.dataLines != bench::kListingRows || stats.declaredRows != stats.dataLines) {
        state.SkipWithError("the filter did not find every data row");
        return;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(stats.bytesRead) * state.iterations());
    state.counters["data_lines"] = static_cast<double>(stats.dataLines);
}

// The filter writing a new output file, as on the first run in a folder: the
// previous output is removed outside the clock.
void BM_ListingFilterNewFile(benchmark::State& state)
{
    battsim::ListingStats stats;
    for (auto _ : state) {
        state.PauseTiming();
        ::unlink(g_files->output.c_str());
        ::sync();
        state.ResumeTiming();
        std::string error;
        if (!battsim::FilterListing(g_files->listing, g_files->output, &stats, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(stats.bytesRead) * state.iterations());
}

// The filter's own work: the same filter writing to /dev/null.
void BM_ListingFilterToNull(benchmark::State& state)
{
    battsim::ListingStats stats;
    for (auto _ : state) {
        std::string error;
        if (!battsim::FilterListing(g_files->listing, "/dev/null", &stats, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(stats.bytesRead) * state.iterations());
}

// What writing costs: the listing copied unchanged, read and written in the
// filter's blocks, into the output file opened, overwritten and cut to length
// as the filter does it.
void BM_ListingPlainCopy(benchmark::State& state)
{
    std::vector<char> block(1 << 20);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        SyncOutput(state, g_files->copy);
        const int in = ::open(g_files->listing.c_str(), O_RDONLY | O_CLOEXEC);
        const int out = ::open(g_files->copy.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        bytes = 0;
        ssize_t got = 0;
        bool ok = in >= 0 && out >= 0;
        while (ok && (got = ::read(in, block.data(), block.size())) > 0) {
            ok = ::write(out, block.data(), static_cast<std::size_t>(got)) == got;
            bytes += static_cast<std::uint64_t>(got);
        }
        ok = ok && ::ftruncate(out, static_cast<off_t>(bytes)) == 0;
        if (in >= 0)
            ::close(in);
        if (out >= 0)
            ok = ::close(out) == 0 && ok;
        if (!ok) {
            state.SkipWithError("the copy failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}

BENCHMARK(BM_ListingMemchrFloor)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ListingFilter)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ListingFilterNewFile)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ListingFilterToNull)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ListingPlainCopy)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    g_files = std::make_unique<Files>();
    g_files->listingBytes = bench::WriteNgspiceListing(g_files->listing, bench::kListingRows);
    bench::MemchrLineScan(g_files->listing); // into the page cache, as the simulator leaves it
    std::printf("listing: %llu bytes, %llu data rows\n", static_cast<unsigned long long>(g_files->listingBytes),
                static_cast<unsigned long long>(bench::kListingRows));

    bench::CCollectingReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter))
        return 1;

    if (reporter.Has("BM_ListingMemchrFloor") && reporter.Has("BM_ListingFilter")) {
        const double megabytes = static_cast<double>(g_files->listingBytes) / 1e6;
        const auto rate = [&](const char* name) { return megabytes / reporter.Get(name).realSeconds; };
        const double floor = rate("BM_ListingMemchrFloor");
        const double filter = rate("BM_ListingFilter");
        std::string text = bench::Format("listing filter: %.0f MB/s = %.2f x memchr floor (%.0f MB/s) on a %.1f MB listing"
                                         " of %llu rows [goal >= 0.5 x]",
                                         filter, filter / floor, floor, megabytes,
                                         static_cast<unsigned long long>(bench::kListingRows));
        if (reporter.Has("BM_ListingFilterNewFile"))
            text += bench::Format("; into a new output file %.0f MB/s (%.2f x floor)", rate("BM_ListingFilterNewFile"),
                                  rate("BM_ListingFilterNewFile") / floor);
        if (reporter.Has("BM_ListingPlainCopy") && reporter.Has("BM_ListingFilterToNull"))
            text += bench::Format("; a plain copy of the listing %.0f MB/s (filter = %.2f x copy), the filter into /dev/null"
                                  " %.0f MB/s (%.2f x floor)",
                                  rate("BM_ListingPlainCopy"), filter / rate("BM_ListingPlainCopy"),
                                  rate("BM_ListingFilterToNull"), rate("BM_ListingFilterToNull") / floor);
        bench::PrintFigure(text);
    }
    g_files.reset();
    return 0;
}
