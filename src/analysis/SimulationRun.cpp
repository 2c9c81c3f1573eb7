#include "SimulationRun.h"

#include "AtomicFile.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace battsim {

namespace {

std::string SingleQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// The simulator's own words: the last lines of its standard error, without
// the progress lines it rewrites with carriage returns.
std::string LastLines(const std::string& text, std::size_t count)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        const auto cr = line.rfind('\r', line.size() - (line.empty() ? 0 : 1));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (cr != std::string::npos && cr < line.size())
            line = line.substr(cr + 1);
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        if (line.rfind("Reference value", 0) == 0)
            continue;
        lines.push_back(line);
    }
    if (lines.size() > count)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    std::string result;
    for (const auto& kept : lines)
        result += kept + "\n";
    if (!result.empty())
        result.pop_back();
    return result;
}

std::string WithSimulatorWords(std::string message, const std::string& errorText)
{
    const std::string words = LastLines(errorText, 8);
    if (!words.empty())
        message += "\n\nThe simulator said:\n" + words;
    return message;
}

} // namespace

std::string BatchLine(const std::string& simulator)
{
    const bool plain = simulator.find_first_not_of(
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._-+") == std::string::npos;
    // With noclobber the shell creates the listing afresh and will not write
    // through a file or link that someone put in its place.
    return "set -C; exec " + (plain ? simulator : SingleQuoted(simulator)) + " -n -b " + kNetlistName + " > "
        + SingleQuoted(kListingName);
}

CSimulationRun::CSimulationRun(RunRequest request, IRunObserver& observer, CRunLock lock)
    : m_request(std::move(request))
    , m_observer(observer)
    , m_lock(std::move(lock))
{
}

CSimulationRun::~CSimulationRun()
{
    Abandon();
    Join();
}

void CSimulationRun::Start()
{
    m_worker = std::thread([this] { Execute(); });
}

void CSimulationRun::Stop()
{
    m_stopSignal.Signal();
}

void CSimulationRun::Abandon()
{
    m_bAbandoned = true;
    m_stopSignal.Signal();
}

void CSimulationRun::Join()
{
    if (m_worker.joinable())
        m_worker.join();
}

std::string CSimulationRun::WorkPath(const char* name) const
{
    return m_request.workDirectory + "/" + name;
}

std::string CSimulationRun::OutputPath() const
{
    const std::string& path = m_request.outputPath;
    if (!path.empty() && path.front() == '/')
        return path;
    return m_request.workDirectory + "/" + path;
}

void CSimulationRun::DeleteTempCopies() const
{
    ::unlink(m_request.circuitTempPath.c_str());
    ::unlink(m_request.paramTempPath.c_str());
}

void CSimulationRun::DeleteWorkFiles() const
{
    ::unlink(WorkPath(kNetlistName).c_str());
    ::unlink(WorkPath(kListingName).c_str());
    ::unlink(WorkPath(kBatchName).c_str());
}

bool CSimulationRun::ListingTooLarge() const
{
    struct stat info {};
    return ::stat(WorkPath(kListingName).c_str(), &info) == 0
        && static_cast<std::uint64_t>(info.st_size) > m_request.listingLimit;
}

void CSimulationRun::Execute()
{
    m_observer.ShowProgress();
    RunOutcome outcome = RunSimulator();
    m_observer.HideProgress();
    m_lock.Release();
    m_observer.Finished(outcome);
}

RunOutcome CSimulationRun::RunSimulator()
{
    RunOutcome outcome;
    std::string error;
    int errorNumber = 0;
    ::unlink(WorkPath(kListingName).c_str());
    if (!WriteNewTextFile(WorkPath(kBatchName), BatchLine(m_request.simulator) + "\n", &errorNumber)) {
        error = std::strerror(errorNumber);
        DeleteTempCopies();
        DeleteWorkFiles();
        outcome.kind = RunOutcome::Kind::Failed;
        outcome.message = "The batch file " + WorkPath(kBatchName) + " could not be written: " + error + ".";
        return outcome;
    }

    m_observer.SetWindowEnabled(false);
    CChildProcess child;
    if (!child.Start({m_request.shell, kBatchName}, m_request.workDirectory, {"LC_ALL=C"}, {"SPICE_SCRIPTS"}, &error)) {
        outcome.kind = RunOutcome::Kind::StartFailed;
        outcome.message = "CreateProcess failed.";
        DeleteTempCopies();
        m_observer.SetWindowEnabled(true);
        return outcome;
    }

    const auto watchListing = [this] {
        if (!m_bListingTooLarge && ListingTooLarge()) {
            m_bListingTooLarge = true;
            m_stopSignal.Signal();
        }
    };
    CChildProcess::WaitResult waited = child.Wait(m_request.startWindow, m_stopSignal, watchListing);
    DeleteTempCopies();
    m_observer.SetWindowEnabled(true);
    if (waited == CChildProcess::WaitResult::TimedOut)
        waited = child.Wait(std::chrono::milliseconds(-1), m_stopSignal, watchListing);
    const bool killed = waited == CChildProcess::WaitResult::Woken;
    if (killed)
        child.KillGroup();
    if (m_bAbandoned) {
        DeleteWorkFiles();
        outcome.kind = RunOutcome::Kind::Stopped;
        outcome.message = "Simulation stopped.";
        return outcome;
    }

    ListingStats stats;
    std::string filterError;
    const bool filtered = FilterListing(WorkPath(kListingName), OutputPath(), &stats, &filterError);
    DeleteWorkFiles();

    outcome = Judge(child, killed, stats, filtered, filterError);
    if (filtered && !m_bAbandoned)
        m_observer.ShowResult(ReadResultFile(OutputPath(), m_request.minimumVoltage));
    return outcome;
}

RunOutcome CSimulationRun::Judge(const CChildProcess& child, bool killed, const ListingStats& stats, bool filtered,
                                 const std::string& filterError) const
{
    RunOutcome outcome;
    outcome.listing = stats;
    const std::string errorText = child.StandardError();
    const int status = child.WaitStatus();
    const auto fail = [&outcome, &errorText](std::string message) {
        outcome.kind = RunOutcome::Kind::Failed;
        outcome.message = WithSimulatorWords(std::move(message), errorText);
    };
    const std::string partial = stats.dataLines > 0
        ? " The graph shows the " + std::to_string(stats.dataLines) + " points computed before it stopped."
        : std::string();

    if (killed && m_bListingTooLarge) {
        fail("The simulator's listing grew beyond " + std::to_string(m_request.listingLimit >> 20)
             + " MiB, so the run was stopped." + partial);
    } else if (killed) {
        outcome.kind = RunOutcome::Kind::Stopped;
        outcome.message = "Simulation stopped.";
    } else if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        fail("The simulator was ended by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")." + partial);
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
        fail("The simulator " + m_request.simulator + " could not be found. Install ngspice (Debian package \"ngspice\") "
             "or put it on the PATH.");
    } else if (WIFEXITED(status) && WEXITSTATUS(status) == 126) {
        fail("The simulator " + m_request.simulator + " could not be run (it is not an executable program).");
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        fail("The simulator stopped with exit code " + std::to_string(WEXITSTATUS(status)) + "." + partial);
    } else if (!filtered) {
        fail("The simulator's result could not be collected: " + filterError + ".");
    } else if (stats.dataLines == 0) {
        fail("The simulator produced no data.");
    } else if (!stats.declaredRows || *stats.declaredRows != stats.dataLines) {
        fail("The simulator's listing is incomplete: "
             + (stats.declaredRows ? std::to_string(*stats.declaredRows) + " rows announced, " : std::string("no row count, "))
             + std::to_string(stats.dataLines) + " data lines found." + partial);
    }
    return outcome;
}

} // namespace battsim
