// The result reader on the filter's output of the generated listing (one
// line per point, 1.8 M lines), against the plain newline scan of the same
// file, and for scale a Python split() loop and grep over it.

#include "BenchSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<bench::CResultFile> g_files;

void BM_OutputMemchrFloor(benchmark::State& state)
{
    bench::MemchrFloorLoop(state, g_files->output);
}

void BM_ResultReader(benchmark::State& state)
{
    bench::ResultReaderLoop(state, g_files->output, g_files->lines);
}

// The loop is timed inside Python, so the interpreter's start is left out.
void BM_PythonSplitLoop(benchmark::State& state)
{
    const std::string command = "python3 -c '\n"
                                "import sys, time\n"
                                "start = time.perf_counter()\n"
                                "hours = []; volts = []\n"
                                "with open(sys.argv[1]) as f:\n"
                                "    for line in f:\n"
                                "        p = line.split()\n"
                                "        hours.append(float(p[1]) / 3600.0); volts.append(float(p[2]))\n"
                                "print(time.perf_counter() - start, len(volts))\n"
                                "' '" + g_files->output + "' 2>/dev/null";
    for (auto _ : state) {
        int status = 0;
        const std::string output = bench::CommandOutput(command, &status);
        double seconds = 0.0;
        unsigned long long count = 0;
        if (status != 0 || std::sscanf(output.c_str(), "%lf %llu", &seconds, &count) != 2 || count != g_files->lines) {
            state.SkipWithError("python3 is not available or did not read the file");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_GrepDigitLines(benchmark::State& state)
{
    const std::string command = "LC_ALL=C grep -c '^[0-9]' '" + g_files->output + "'";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int status = 0;
        const std::string output = bench::CommandOutput(command, &status);
        const auto stop = std::chrono::steady_clock::now();
        if (status != 0 || std::strtoull(output.c_str(), nullptr, 10) != g_files->lines) {
            state.SkipWithError("grep did not count the lines");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }
}

BENCHMARK(BM_OutputMemchrFloor)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ResultReader)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PythonSplitLoop)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_GrepDigitLines)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(3)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    g_files = std::make_unique<bench::CResultFile>();
    std::string error;
    if (!g_files->Write(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("output file: %llu bytes, %llu lines\n", static_cast<unsigned long long>(bench::FileSize(g_files->output)),
                static_cast<unsigned long long>(g_files->lines));

    bench::CCollectingReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter))
        return 1;

    if (reporter.Has("BM_OutputMemchrFloor") && reporter.Has("BM_ResultReader")) {
        const double floor = reporter.Get("BM_OutputMemchrFloor").realSeconds;
        const double reader = reporter.Get("BM_ResultReader").realSeconds;
        const double lines = static_cast<double>(g_files->lines);
        std::string text = bench::Format("result reader: %.1f M lines/s (%.1f ms for %.2f M lines) = %.2f x the memchr floor's"
                                         " time (%.1f ms)", lines / reader / 1e6, reader * 1e3, lines / 1e6, reader / floor,
                                         floor * 1e3);
        if (reporter.Has("BM_PythonSplitLoop"))
            text += bench::Format("; %.1f x faster than a Python split() loop (%.0f ms) [goal >= 3 x]",
                                  reporter.Get("BM_PythonSplitLoop").realSeconds / reader,
                                  reporter.Get("BM_PythonSplitLoop").realSeconds * 1e3);
        if (reporter.Has("BM_GrepDigitLines"))
            text += bench::Format("; grep '^[0-9]' %.0f ms", reporter.Get("BM_GrepDigitLines").realSeconds * 1e3);
        bench::PrintFigure(text);
    }
    g_files.reset();
    return 0;
}
