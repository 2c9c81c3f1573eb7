#pragma once

#include "ChildProcess.h"
#include "ListingFilter.h"
#include "ResultReader.h"
#include "RunLock.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace battsim {

// The fixed names of a run's work files, in the working folder.
inline constexpr const char* kNetlistName = "Analyz.cir";
inline constexpr const char* kBatchName = "spice0_0.bat";
inline constexpr const char* kListingName = "tmp0x1x0.$$$";

// The one line of the batch file: runs the simulator (which replaces the
// shell, so its exit status is the run's) with its listing to the work file.
std::string BatchLine(const std::string& simulator);

// What a run needs, copied when it starts so that later changes to the
// catalogue or the selection cannot reach it.
struct RunRequest
{
    std::string workDirectory;    // absolute; work files and relative paths live here
    std::string outputPath;       // the model's output file, as the catalogue holds it
    double minimumVoltage = 0.0;  // the cut-off
    std::string circuitTempPath;  // the unscrambled copies, deleted once the simulator runs
    std::string paramTempPath;
    std::string simulator = "ngspice";
    std::string shell = "/bin/sh";
    std::chrono::milliseconds startWindow{10000}; // how long the window stays disabled at most
    std::uint64_t listingLimit = 8ull << 30;      // a listing beyond this stops the run
};

// How a run ended, for the user.
struct RunOutcome
{
    enum class Kind { Completed, Failed, StartFailed, Stopped };
    Kind kind = Kind::Completed;
    std::string message;        // for Failed: what went wrong, with the simulator's own words
    ListingStats listing;
};

// The steps of a run report to the window through this interface. The
// calls come from the worker thread, in the order of the steps; an
// implementation hands them to the GUI thread and must not block.
class IRunObserver
{
public:
    virtual ~IRunObserver() = default;
    virtual void ShowProgress() = 0;
    virtual void SetWindowEnabled(bool enabled) = 0;
    virtual void ShowResult(CResultSeries series) = 0;
    virtual void HideProgress() = 0;
    // The last call of a run.
    virtual void Finished(const RunOutcome& outcome) = 0;
};

// One simulator run on a worker thread: writes the batch file, starts it
// through /bin/sh in a process group of its own, keeps the window disabled
// until the simulator ends or the start window passes, deletes the
// unscrambled copies, waits, filters the listing into the output file,
// deletes the work files and reads the result.
class CSimulationRun final
{
public:
    CSimulationRun(RunRequest request, IRunObserver& observer, CRunLock lock);
    // Abandons the run if it still goes on and joins the worker.
    ~CSimulationRun();

    CSimulationRun(const CSimulationRun&) = delete;
    CSimulationRun& operator=(const CSimulationRun&) = delete;

    void Start();
    // Ends the simulator's process group; the run then cleans up and
    // finishes as Stopped. Safe from any thread, any number of times.
    void Stop();
    // Ends the simulator as Stop does, and also gives up what is left: the
    // listing is neither filtered nor read and the output file is left as it
    // was, so that a window closing mid-run goes at once.
    void Abandon();
    // Waits for the worker to return.
    void Join();

private:
    void Execute();
    RunOutcome RunSimulator();
    RunOutcome Judge(const CChildProcess& child, bool killed, const ListingStats& stats, bool filtered,
                     const std::string& filterError) const;
    std::string WorkPath(const char* name) const;
    std::string OutputPath() const;
    void DeleteTempCopies() const;
    void DeleteWorkFiles() const;
    bool ListingTooLarge() const;

    RunRequest m_request;
    IRunObserver& m_observer;
    CRunLock m_lock;
    CWakeup m_stopSignal;
    std::atomic<bool> m_bAbandoned{false};
    std::atomic<bool> m_bListingTooLarge{false};
    std::thread m_worker;
};

} // namespace battsim
