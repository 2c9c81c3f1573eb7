// A whole run against the simulator alone, in pairs. A run: the netlist
// written by PrepareNetlist for the sample Li-ion cell (LIPO850 from the
// build's scrambled sample catalogue) at 0.85 A for 5 h in steps of 0.01 s, then
// CSimulationRun (the real ngspice through the batch file, the listing
// filter, the result reader) and the result plotted on a shown graph through
// CRunBridge, as the window does. The simulator alone: the same netlist
// given to `ngspice -n -b Analyz.cir > listing` in the same environment.
// The program's peak resident size during the runs is set against its size
// when idle (Qt up, the graph shown, before any run).

#include "BatteryModel.h"
#include "BenchSupport.h"
#include "CCWGraph.h"
#include "CGraphPlots.h"
#include "CRunBridge.h"
#include "GraphArray.h"
#include "IniFile.h"
#include "NetlistWriter.h"
#include "ResultSummary.h"
#include "RunLock.h"
#include "SimulationRun.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef BATTSIM_SAMPLE_DIR
#error "BATTSIM_SAMPLE_DIR must name the build's sample catalogue"
#endif

namespace {

using Clock = std::chrono::steady_clock;

struct Setup
{
    bench::CScratchDir dir;
    std::string work = dir / "work";
    std::string privateDir = dir / "private";
    std::string circuitTemp = privateDir + "/~~~00~~11.tmp";
    std::string paramTemp = privateDir + "/~~~00~~12.tmp";
    battsim::CBatteryModel model;
    battsim::AnalysisSettings settings;
};

std::unique_ptr<Setup> g_setup;
CCWGraph* g_graph = nullptr;
battsim::CResultSeries g_lastSeries; // the window keeps the last result
std::uint64_t g_idleKiB = 0;
std::uint64_t g_peakKiB = 0;
bool g_peakReset = false;
std::size_t g_points = 0;
std::vector<double> g_afterSimulator; // seconds from the listing's last write to the plotted frame
std::vector<double> g_toFiltered;     // ... to the output file's last write (the filter's end)
std::vector<double> g_toRead;         // ... to the result handed on by the worker (the reader's end)
std::vector<double> g_longestPause;   // seconds of the event loop's longest pause in each run

double Seconds(const timespec& from, const timespec& to)
{
    return static_cast<double>(to.tv_sec - from.tv_sec) + static_cast<double>(to.tv_nsec - from.tv_nsec) * 1e-9;
}

// Hands every report on to the window's bridge, noting when the worker
// hands on the result (the reader has then finished).
class CTimingObserver final : public battsim::IRunObserver
{
public:
    explicit CTimingObserver(battsim::IRunObserver& next) : m_next(next) {}

    void ShowProgress() override { m_next.ShowProgress(); }
    void SetWindowEnabled(bool enabled) override { m_next.SetWindowEnabled(enabled); }
    void ShowResult(battsim::CResultSeries series) override
    {
        clock_gettime(CLOCK_REALTIME, &m_read);
        m_next.ShowResult(std::move(series));
    }
    void HideProgress() override { m_next.HideProgress(); }
    void Finished(const battsim::RunOutcome& outcome) override { m_next.Finished(outcome); }

    const timespec& ReadAt() const { return m_read; }

private:
    battsim::IRunObserver& m_next;
    timespec m_read {};
};
std::vector<double> g_whole;          // seconds of each whole run
std::vector<double> g_alone;          // seconds of each run of the simulator alone

// The values the constant current dialog sends, with the duration and step
// of this benchmark.
battsim::AnalysisSettings ConstantCurrent(const battsim::CBatteryModel& model)
{
    battsim::AnalysisSettings settings;
    settings.constantCurrent = model.m_dIrat;
    settings.pwlTime.fill(0.0);
    settings.pwlCurrent.fill(0.0);
    settings.loadResistance = 0.000001;
    settings.switchLevel = 0.0;
    settings.initialVoltage = model.m_dEmax;
    // BATTSIM_BENCH_HOURS shortens the run for a quick look; the figures
    // are for 5 h.
    const char* hours = std::getenv("BATTSIM_BENCH_HOURS");
    settings.duration = hours && *hours ? std::atof(hours) : 5.0;
    settings.timeStep = 0.01;
    settings.SetTitle("Constant current analysis");
    return settings;
}

bool WriteNetlist(benchmark::State& state)
{
    const battsim::NetlistOutcome outcome = battsim::PrepareNetlist(
        g_setup->model, g_setup->settings, g_setup->circuitTemp, g_setup->paramTemp, battsim::kNetlistName);
    if (!outcome.ok)
        state.SkipWithError(outcome.message.c_str());
    return outcome.ok;
}

// One run as the window makes it; the seconds it took, or a negative value
// after SkipWithError.
double RunWhole(benchmark::State& state)
{
    g_peakReset = bench::ResetPeakResident();
    const auto start = Clock::now();
    // The longest time between two turns of the event loop, seen by a timer
    // that asks for one every 5 ms: how long the window would not paint. It
    // counts from before the netlist is written, on this thread as in the
    // window.
    QTimer ticker;
    Clock::time_point lastTick = Clock::now();
    Clock::duration longestPause {};
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        longestPause = std::max(longestPause, now - lastTick);
        lastTick = now;
    });
    ticker.start(5);
    if (!WriteNetlist(state))
        return -1.0;

    battsim::RunRequest request;
    request.workDirectory = g_setup->work;
    request.outputPath = g_setup->model.m_strOutputFile;
    request.minimumVoltage = g_setup->model.m_dEmin;
    request.circuitTempPath = g_setup->circuitTemp;
    request.paramTempPath = g_setup->paramTemp;
    battsim::CRunLock lock;
    std::string error;
    if (!lock.Acquire({g_setup->work, g_setup->privateDir}, &error)) {
        state.SkipWithError(error.c_str());
        return -1.0;
    }

    QEventLoop loop;
    battsim::RunOutcome outcome;
    // The listing is held open from the moment it appears, so that the time
    // of the simulator's last write can still be read once the run has
    // deleted it: what follows that moment is this program's work.
    int listingFd = -1;
    QTimer listingWatch;
    QObject::connect(&listingWatch, &QTimer::timeout, [&] {
        if (listingFd < 0)
            listingFd = ::open((g_setup->work + "/" + battsim::kListingName).c_str(), O_RDONLY | O_CLOEXEC);
    });
    listingWatch.start(20);
    // The result is drawn when the event loop next runs, as in the window;
    // the run ends for this benchmark once both the worker has finished and
    // that frame is drawn.
    timespec plotted {};
    bool resultShown = false;
    bool drawn = false;
    bool finishedRun = false;
    const QMetaObject::Connection drawWatch = QObject::connect(g_graph->Plot(), &QCustomPlot::afterReplot, [&] {
        if (!resultShown || drawn)
            return;
        clock_gettime(CLOCK_REALTIME, &plotted);
        drawn = true;
        if (finishedRun)
            loop.quit();
    });
    CRunBridge::Handlers handlers;
    handlers.showProgress = [] {};
    handlers.setWindowEnabled = [](bool enabled) { g_graph->setEnabled(enabled); };
    handlers.showResult = [&resultShown](battsim::CResultSeries& series) {
        const int count = static_cast<int>(series.Size());
        if (count > 0) {
            const battsim::CGraphArray x(series.hours.data(), count, -1, -1);
            const battsim::CGraphArray y(series.volts.data(), count, -1, -1);
            g_graph->PlotCollection().Item(1.0).PlotXY(x, y);
        }
        // The window's note: the summary is worked out on the GUI thread.
        const battsim::CResultSummary summary = battsim::Summarize(series, g_setup->settings);
        g_graph->SetNote(QStringLiteral("Runtime: %1\nCharge: %2 Ah   Energy: %3 Wh\nMean voltage: %4 V")
                             .arg(summary.runtimeHours ? QString::fromStdString(battsim::FormatRuntime(*summary.runtimeHours))
                                                       : QStringLiteral("not reached"))
                             .arg(summary.chargeAh)
                             .arg(summary.energyWh)
                             .arg(summary.meanVolts));
        g_lastSeries = std::move(series);
        resultShown = true;
    };
    handlers.hideProgress = [] {};
    handlers.finished = [&](const battsim::RunOutcome& finished) {
        outcome = finished;
        finishedRun = true;
        if (drawn || !resultShown)
            loop.quit();
    };
    auto bridge = std::make_unique<CRunBridge>(std::move(handlers), nullptr);
    CTimingObserver timing(*bridge);
    auto run = std::make_unique<battsim::CSimulationRun>(std::move(request), timing, std::move(lock));
    run->Start();
    loop.exec();
    ticker.stop();
    QObject::disconnect(drawWatch);
    run->Join();
    run.reset();
    bridge.reset();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    g_peakKiB = std::max(g_peakKiB, bench::StatusKiB("VmHWM"));
    listingWatch.stop();
    struct stat listing {};
    struct stat output {};
    if (listingFd >= 0 && ::fstat(listingFd, &listing) == 0 && plotted.tv_sec != 0 && timing.ReadAt().tv_sec != 0
        && ::stat((g_setup->work + "/" + g_setup->model.m_strOutputFile).c_str(), &output) == 0) {
        g_afterSimulator.push_back(Seconds(listing.st_mtim, plotted));
        g_toFiltered.push_back(Seconds(listing.st_mtim, output.st_mtim));
        g_toRead.push_back(Seconds(listing.st_mtim, timing.ReadAt()));
    }
    if (listingFd >= 0)
        ::close(listingFd);

    if (outcome.kind != battsim::RunOutcome::Kind::Completed) {
        state.SkipWithError(("the run did not complete: " + outcome.message).c_str());
        return -1.0;
    }
    g_points = g_graph->PointCount();
    if (g_points != outcome.listing.dataLines || g_points < 1000) {
        state.SkipWithError("the graph does not show the whole run");
        return -1.0;
    }
    g_longestPause.push_back(std::chrono::duration<double>(longestPause).count());
    return seconds;
}

// The simulator alone on the same netlist (written before the clock
// starts); the seconds it took, or a negative value after SkipWithError.
double RunAlone(benchmark::State& state)
{
    const std::string listing = g_setup->work + "/alone.lst";
    const std::string command = "cd '" + g_setup->work + "' && LC_ALL=C && export LC_ALL && unset SPICE_SCRIPTS && "
        "exec ngspice -n -b " + battsim::kNetlistName + " > alone.lst 2> alone.err < /dev/null";
    if (!WriteNetlist(state))
        return -1.0;
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::uint64_t size = bench::FileSize(listing);
    ::unlink(listing.c_str());
    ::unlink((g_setup->work + "/alone.err").c_str());
    ::unlink((g_setup->work + "/" + battsim::kNetlistName).c_str());
    ::unlink(g_setup->circuitTemp.c_str());
    ::unlink(g_setup->paramTemp.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || size == 0) {
        state.SkipWithError("ngspice did not run");
        return -1.0;
    }
    return seconds;
}

// Each repetition makes a pair, a whole run and the simulator alone, in
// turns first one then the other, so that a change in the machine's load
// falls on both; the time reported is the whole run's.
void BM_EndToEndAgainstNgspice(benchmark::State& state)
{
    static int pair = 0;
    for (auto _ : state) {
        const bool aloneFirst = pair++ % 2 == 1;
        const double alone1 = aloneFirst ? RunAlone(state) : 0.0;
        const double whole = alone1 < 0.0 ? -1.0 : RunWhole(state);
        const double alone = aloneFirst || whole < 0.0 ? alone1 : RunAlone(state);
        if (whole < 0.0 || alone < 0.0)
            return;
        state.SetIterationTime(whole);
        state.counters["alone_s"] = alone;
        state.counters["ratio"] = whole / alone;
        g_whole.push_back(whole);
        g_alone.push_back(alone);
    }
    state.counters["points"] = static_cast<double>(g_points);
}

BENCHMARK(BM_EndToEndAgainstNgspice)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

bool LoadSampleModel(Setup& setup)
{
    std::error_code error;
    std::filesystem::copy(BATTSIM_SAMPLE_DIR, setup.work, std::filesystem::copy_options::recursive, error);
    if (error) {
        std::fprintf(stderr, "cannot copy the sample catalogue %s: %s\n", BATTSIM_SAMPLE_DIR, error.message().c_str());
        return false;
    }
    if (::mkdir(setup.privateDir.c_str(), 0700) != 0 || ::chdir(setup.work.c_str()) != 0) {
        std::perror("cannot set up the work folders");
        return false;
    }
    battsim::CIniFile catalogue;
    std::string message;
    if (!battsim::CIniFile::Load("models.md", &catalogue, &message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return false;
    }
    for (int i = 0; i < catalogue.GetProfileInt("COMMON", "NUMBER", 0); ++i) {
        battsim::CBatteryModel model;
        model.ReadFromProfile(catalogue, "MODEL_" + std::to_string(i));
        if (model.m_strModelFile == "LIPO850.CIR") {
            setup.model = model;
            setup.settings = ConstantCurrent(model);
            return true;
        }
    }
    std::fprintf(stderr, "the sample catalogue has no LIPO850 model\n");
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    g_setup = std::make_unique<Setup>();
    if (!LoadSampleModel(*g_setup))
        return 1;

    auto graph = std::make_unique<CCWGraph>();
    g_graph = graph.get();
    graph->SetCaption(QStringLiteral("Simulation of %1").arg(QString::fromStdString(g_setup->model.m_strName)));
    graph->resize(900, 560);
    graph->show();
    QApplication::processEvents();
    g_idleKiB = bench::StatusKiB("VmRSS");
    std::printf("idle: VmRSS %llu KiB, VmHWM %llu KiB\n", static_cast<unsigned long long>(g_idleKiB),
                static_cast<unsigned long long>(bench::StatusKiB("VmHWM")));

    bench::CCollectingReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter))
        return 1;

    if (!g_whole.empty() && g_whole.size() == g_alone.size()) {
        const double whole = Median(g_whole);
        const double alone = Median(g_alone);
        std::vector<double> ratios;
        for (std::size_t i = 0; i < g_whole.size(); ++i)
            ratios.push_back(g_whole[i] / g_alone[i]);
        bench::PrintFigure(bench::Format("end to end (%g h at %g s): %.2f s = %.3f x ngspice alone (%.2f s), medians of %zu"
                                         " (pairs %.3f to %.3f); %zu points plotted; from the simulator's last write to the"
                                         " drawn graph %.0f ms (output file written at +%.0f ms, read at +%.0f ms)"
                                         " [goal <= 1.05 x]",
                                         g_setup->settings.duration, g_setup->settings.timeStep, whole, whole / alone, alone,
                                         g_whole.size(), *std::min_element(ratios.begin(), ratios.end()),
                                         *std::max_element(ratios.begin(), ratios.end()), g_points,
                                         Median(g_afterSimulator) * 1e3, Median(g_toFiltered) * 1e3,
                                         Median(g_toRead) * 1e3));
        bench::PrintFigure(bench::Format("window responsiveness: longest pause of the event loop during a run %.0f ms"
                                         " (median of %zu runs; longest of all %.0f ms) [goal <= 100 ms]",
                                         Median(g_longestPause) * 1e3, g_longestPause.size(),
                                         *std::max_element(g_longestPause.begin(), g_longestPause.end()) * 1e3));
        const auto megabytes = [](std::uint64_t kib) { return static_cast<double>(kib) * 1024.0 / 1e6; };
        bench::PrintFigure(bench::Format("peak memory: %.1f MB above idle (idle VmRSS %.1f MB, peak VmHWM %.1f MB%s)"
                                         " [goal <= 150 MB]",
                                         megabytes(g_peakKiB - std::min(g_peakKiB, g_idleKiB)), megabytes(g_idleKiB),
                                         megabytes(g_peakKiB), g_peakReset ? ", reset before each run" : " since start"));
    }
    graph.reset();
    g_lastSeries = battsim::CResultSeries();
    const int left = ::chdir("/"); // the scratch folder goes next
    static_cast<void>(left);
    g_setup.reset();
    return 0;
}
