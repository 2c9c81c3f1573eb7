// A run on its worker thread, against a fake simulator: the order of its
// steps, the start window, cleanup after every kind of end, and what the
// user is told.

#include "SimulationRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace battsim;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Records what the run reports, with the time of each report.
class CRecorder final : public IRunObserver
{
public:
    struct Event
    {
        std::string what;
        Clock::duration at;
    };

    void ShowProgress() override { Add("show"); }
    void SetWindowEnabled(bool enabled) override { Add(enabled ? "enable" : "disable"); }
    void ShowResult(CResultSeries series) override
    {
        std::lock_guard lock(m_mutex);
        m_series = std::move(series);
        m_events.push_back({"result", Clock::now() - m_start});
    }
    void HideProgress() override { Add("hide"); }
    void Finished(const RunOutcome& outcome) override
    {
        std::lock_guard lock(m_mutex);
        m_outcome = outcome;
        m_events.push_back({"finished", Clock::now() - m_start});
        m_done = true;
        m_changed.notify_all();
    }

    bool WaitFinished(std::chrono::seconds limit)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [this] { return m_done; });
    }
    bool WaitFor(const std::string& what, std::chrono::seconds limit)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] {
            for (const auto& event : m_events)
                if (event.what == what)
                    return true;
            return false;
        });
    }
    std::vector<std::string> Sequence() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> names;
        for (const auto& event : m_events)
            names.push_back(event.what);
        return names;
    }
    Clock::duration At(const std::string& what) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& event : m_events)
            if (event.what == what)
                return event.at;
        return Clock::duration::max();
    }
    RunOutcome Outcome() const
    {
        std::lock_guard lock(m_mutex);
        return m_outcome;
    }
    CResultSeries Series() const
    {
        std::lock_guard lock(m_mutex);
        return m_series;
    }

private:
    void Add(const char* what)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back({what, Clock::now() - m_start});
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
    RunOutcome m_outcome;
    CResultSeries m_series;
    bool m_done = false;
    const Clock::time_point m_start = Clock::now();
};

bool WaitUntilFileSize(const std::string& path, std::uintmax_t size, std::chrono::seconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        std::error_code ignored;
        if (std::filesystem::file_size(path, ignored) >= size && !ignored)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

class RunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::random_device seed;
        m_marker = std::to_string(seed()) + std::to_string(seed());
        setenv("BATTSIM_FAKE_MARKER", m_marker.c_str(), 1);
        std::filesystem::create_directory(work / "tmp");
        request.workDirectory = work.Path();
        request.outputPath = "cell.FIG";
        request.minimumVoltage = 3.0;
        request.circuitTempPath = work / "tmp/~~~00~~11.tmp";
        request.paramTempPath = work / "tmp/~~~00~~12.tmp";
        request.simulator = BATTSIM_FAKES_DIR "/ngspice";
        WriteFile(request.circuitTempPath, "circuit");
        WriteFile(request.paramTempPath, "params");
        WriteFile(work / kNetlistName, "netlist");
    }
    void TearDown() override
    {
        unsetenv("BATTSIM_FAKE_MODE");
        unsetenv("BATTSIM_FAKE_SLEEP");
        EXPECT_TRUE(NoProcessLeft(m_marker)) << "a simulator process was left behind";
    }

    RunOutcome Run(const char* mode)
    {
        setenv("BATTSIM_FAKE_MODE", mode, 1);
        CSimulationRun run(request, recorder, CRunLock());
        run.Start();
        EXPECT_TRUE(recorder.WaitFinished(60s));
        run.Join();
        return recorder.Outcome();
    }

    void ExpectCleanedUp()
    {
        for (const char* name : {kNetlistName, kBatchName, kListingName})
            EXPECT_FALSE(FileExists(work / name)) << name;
        EXPECT_FALSE(FileExists(request.circuitTempPath));
        EXPECT_FALSE(FileExists(request.paramTempPath));
    }

    CTestDir work;
    RunRequest request;
    CRecorder recorder;
    std::string m_marker;
};

TEST_F(RunTest, GoodRunFollowsTheStepsInOrder)
{
    const RunOutcome outcome = Run("ok");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Completed) << outcome.message;
    const std::vector<std::string> expected{"show", "disable", "enable", "result", "hide", "finished"};
    EXPECT_EQ(recorder.Sequence(), expected);
    EXPECT_EQ(ReadFile(work / "cell.FIG"), "0\t0.000000e+00\t4.000000e+00\t\n1\t600.000000e+00\t4.000000e+00\t\n"
                                           "2\t1200.000000e+00\t4.000000e+00\t\n");
    EXPECT_EQ(recorder.Series().Size(), 3u);
    EXPECT_FLOAT_EQ(recorder.Series().hours[2], 1200.0f / 3600.0f);
    ExpectCleanedUp();
}

TEST_F(RunTest, BatchFileExecsTheSimulatorIntoTheListing)
{
    EXPECT_EQ(BatchLine("ngspice"), "set -C; exec ngspice -n -b Analyz.cir > 'tmp0x1x0.$$$'");
    EXPECT_EQ(BatchLine("/opt/my spice/ngspice"), "set -C; exec '/opt/my spice/ngspice' -n -b Analyz.cir > 'tmp0x1x0.$$$'");
}

TEST_F(RunTest, WindowComesBackWhenASimulatorOfThreeSecondsEnds)
{
    setenv("BATTSIM_FAKE_SLEEP", "3", 1);
    setenv("BATTSIM_FAKE_MODE", "ok", 1);
    CSimulationRun run(request, recorder, CRunLock());
    run.Start();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(FileExists(request.circuitTempPath)) << "the copies must live while the simulator starts";
    ASSERT_TRUE(recorder.WaitFinished(30s));
    run.Join();
    EXPECT_GE(recorder.At("enable"), 2900ms);
    EXPECT_LT(recorder.At("enable"), 8s);
    EXPECT_EQ(recorder.Outcome().kind, RunOutcome::Kind::Completed);
    ExpectCleanedUp();
}

TEST_F(RunTest, HangingSimulatorGetsTheWindowBackAfterTheStartWindowAndStops)
{
    request.startWindow = 1500ms;
    setenv("BATTSIM_FAKE_MODE", "hang", 1);
    CSimulationRun run(request, recorder, CRunLock());
    run.Start();
    ASSERT_TRUE(recorder.WaitFor("enable", 10s));
    EXPECT_GE(recorder.At("enable"), 1400ms);
    EXPECT_FALSE(FileExists(request.circuitTempPath));
    EXPECT_GE(ProcessesWithMarker(m_marker), 1);
    const auto stopAt = Clock::now();
    run.Stop();
    ASSERT_TRUE(recorder.WaitFinished(10s));
    EXPECT_LT(Clock::now() - stopAt, 1s);
    run.Join();
    EXPECT_EQ(recorder.Outcome().kind, RunOutcome::Kind::Stopped);
    EXPECT_EQ(recorder.Outcome().message, "Simulation stopped.");
    ExpectCleanedUp();
}

TEST_F(RunTest, DestroyingARunUnderWayGivesItUpAtOnce)
{
    // A long listing is already there when the window goes: it is neither
    // filtered nor read, and the old result stays as it was.
    WriteFile(work / "cell.FIG", "old result\n");
    setenv("BATTSIM_FAKE_MODE", "bighang", 1);
    Clock::time_point destroyed;
    {
        CSimulationRun run(request, recorder, CRunLock());
        run.Start();
        ASSERT_TRUE(WaitUntilFileSize(work / kListingName, 5 << 20, 20s));
        destroyed = Clock::now();
    }
    EXPECT_LT(Clock::now() - destroyed, 1s);
    EXPECT_TRUE(NoProcessLeft(m_marker));
    EXPECT_EQ(ReadFile(work / "cell.FIG"), "old result\n");
    EXPECT_EQ(recorder.Series().Size(), 0u);
    EXPECT_EQ(recorder.Outcome().kind, RunOutcome::Kind::Stopped);
    ExpectCleanedUp();
}

TEST_F(RunTest, PlantedLinksAtTheWorkFileNamesAreNotWrittenThrough)
{
    WriteFile(work / "victim", "precious");
    std::filesystem::create_symlink(work / "victim", work / kListingName);
    std::filesystem::create_symlink(work / "victim", work / kBatchName);
    const RunOutcome outcome = Run("ok");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Completed) << outcome.message;
    EXPECT_EQ(ReadFile(work / "victim"), "precious");
    EXPECT_EQ(recorder.Series().Size(), 3u);
    ExpectCleanedUp();
}

struct FailureCase
{
    const char* mode;
    const char* simulator; // nullptr: the fake
    std::vector<std::string> phrases;
    std::size_t points;
};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.mode << " " << (c.simulator ? c.simulator : "fake");
}

class RunFailure : public RunTest, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(RunFailure, TellsWhatHappenedAndCleansUp)
{
    const FailureCase& c = GetParam();
    if (c.simulator)
        request.simulator = c.simulator;
    if (request.simulator == "not-executable") {
        // A real program without its execute bits.
        std::filesystem::copy_file("/bin/true", work / "noexec");
        chmod((work / "noexec").c_str(), 0644);
        request.simulator = work / "noexec";
    }
    const RunOutcome outcome = Run(c.mode);
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Failed);
    for (const std::string& phrase : c.phrases)
        EXPECT_NE(outcome.message.find(phrase), std::string::npos) << outcome.message;
    EXPECT_EQ(recorder.Series().Size(), c.points);
    EXPECT_EQ(recorder.Sequence().back(), "finished");
    ExpectCleanedUp();
}

INSTANTIATE_TEST_SUITE_P(
    Simulators, RunFailure,
    ::testing::Values(
        FailureCase{"fail", nullptr, {"exit code 1", "unknown subckt"}, 0},
        FailureCase{"ok", "/nonexistent/ngspice", {"could not be found", "not found"}, 0},
        FailureCase{"ok", "not-executable", {"could not be run", "Permission denied"}, 0},
        FailureCase{"segv", nullptr, {"signal 11", "2 points"}, 2},
        FailureCase{"garbage", nullptr, {"produced no data"}, 0},
        FailureCase{"early", nullptr, {"exit code 1", "Timestep too small", "4 points"}, 4},
        FailureCase{"incomplete", nullptr, {"incomplete", "no row count"}, 2}),
    [](const auto& info) { return std::string(info.param.mode) + std::to_string(info.index); });

TEST_F(RunTest, NanVoltagesArePlottedAndCut)
{
    const RunOutcome outcome = Run("nan");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Completed) << outcome.message;
    const CResultSeries series = recorder.Series();
    ASSERT_EQ(series.Size(), 2u);
    EXPECT_TRUE(std::isnan(series.volts[0]));
    EXPECT_EQ(series.volts[1], 0.0f);
}

TEST_F(RunTest, AFloodOnStandardErrorIsKeptSmall)
{
    const RunOutcome outcome = Run("errflood");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Completed) << outcome.message.substr(0, 200);
    EXPECT_EQ(recorder.Series().Size(), 1u);
}

TEST_F(RunTest, AListingBeyondTheLimitStopsTheRun)
{
    request.listingLimit = 4 << 20;
    const RunOutcome outcome = Run("outflood");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("grew beyond 4 MiB"), std::string::npos) << outcome.message;
    ExpectCleanedUp();
}

TEST_F(RunTest, AShellThatCannotStartIsAStartFailure)
{
    request.shell = work / "no-shell";
    const RunOutcome outcome = Run("ok");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::StartFailed);
    EXPECT_EQ(outcome.message, "CreateProcess failed.");
    const std::vector<std::string> expected{"show", "disable", "enable", "hide", "finished"};
    EXPECT_EQ(recorder.Sequence(), expected);
    EXPECT_FALSE(FileExists(request.circuitTempPath));
    EXPECT_FALSE(FileExists(request.paramTempPath));
    // The netlist and the batch file stay for the next run to overwrite.
    EXPECT_TRUE(FileExists(work / kBatchName));
}

TEST_F(RunTest, BatchFileThatCannotBeWrittenEndsTheRunCleanly)
{
    request.workDirectory = work / "missing-folder";
    const RunOutcome outcome = Run("ok");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("batch file"), std::string::npos);
    EXPECT_FALSE(FileExists(request.circuitTempPath));
}

TEST_F(RunTest, ADiskThatFillsDuringTheRunIsReported)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    CTinyMount disk(work / "disk", 256);
    ASSERT_TRUE(disk.Mounted());
    request.workDirectory = work / "disk";
    WriteFile(work / (std::string("disk/") + kNetlistName), "netlist");
    const RunOutcome outcome = Run("big");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("No space left on device"), std::string::npos) << outcome.message;
    for (const char* name : {kNetlistName, kBatchName, kListingName})
        EXPECT_FALSE(FileExists(work / (std::string("disk/") + name))) << name;
}

TEST_F(RunTest, OutputThatCannotBeWrittenIsReported)
{
    request.outputPath = work / "no/such/folder/cell.FIG";
    const RunOutcome outcome = Run("ok");
    EXPECT_EQ(outcome.kind, RunOutcome::Kind::Failed);
    EXPECT_NE(outcome.message.find("cell.FIG"), std::string::npos) << outcome.message;
    ExpectCleanedUp();
}

} // namespace
