#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace battsim {

// A wake-up line for a waiting thread: Signal() from any thread makes every
// wait on it return at once.
class CWakeup final
{
public:
    CWakeup();
    ~CWakeup();
    CWakeup(const CWakeup&) = delete;
    CWakeup& operator=(const CWakeup&) = delete;

    void Signal();
    bool Signalled() const;
    int Fd() const { return m_fds[0]; }

private:
    int m_fds[2] = {-1, -1};
};

// A child process started in a session (and process group) of its own,
// without a controlling terminal, with standard input from /dev/null, standard output to
// /dev/null and standard error kept (the first and the last few KiB).
class CChildProcess final
{
public:
    enum class WaitResult { Exited, TimedOut, Woken };

    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts argv[0] (looked up on PATH) in `workingDirectory`, with the
    // environment of this process changed by `setVariables` ("NAME=value")
    // and without `unsetVariables`.
    bool Start(const std::vector<std::string>& argv, const std::string& workingDirectory,
               const std::vector<std::string>& setVariables,
               const std::vector<std::string>& unsetVariables, std::string* error);

    // Waits until the child ends, `timeout` passes (a negative timeout waits
    // without limit) or `wakeup` is signalled. `tick` runs about every
    // 100 ms while it waits.
    WaitResult Wait(std::chrono::milliseconds timeout, const CWakeup& wakeup,
                    const std::function<void()>& tick = {});

    // Ends the whole process group: SIGTERM, up to `grace` for it to go,
    // then SIGKILL; reaps the child.
    void KillGroup(std::chrono::milliseconds grace = std::chrono::milliseconds(300));

    bool Running() const { return m_pid > 0 && !m_bReaped; }
    pid_t Pid() const { return m_pid; }
    int WaitStatus() const { return m_nStatus; }
    std::string StandardError() const;

private:
    bool Reap(bool block);
    void DrainError();
    void KeepError(const char* data, std::size_t length);

    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_errFd = -1;
    bool m_bReaped = false;
    int m_nStatus = 0;
    std::string m_strErrHead;
    std::string m_strErrTail;
    bool m_bErrCut = false;
};

} // namespace battsim
