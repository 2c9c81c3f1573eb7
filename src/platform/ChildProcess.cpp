#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace battsim {

namespace {

constexpr std::size_t kErrorKeep = 8192;

int PidFdOpen(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

std::string VariableName(const std::string& assignment)
{
    return assignment.substr(0, assignment.find('='));
}

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& setVariables,
                                          const std::vector<std::string>& unsetVariables)
{
    std::vector<std::string> result;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string assignment(*entry);
        const std::string name = VariableName(assignment);
        bool drop = false;
        for (const auto& unset : unsetVariables)
            drop |= name == unset;
        for (const auto& set : setVariables)
            drop |= name == VariableName(set);
        if (!drop)
            result.push_back(assignment);
    }
    result.insert(result.end(), setVariables.begin(), setVariables.end());
    return result;
}

} // namespace

CWakeup::CWakeup()
{
    if (pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0)
        m_fds[0] = m_fds[1] = -1;
}

CWakeup::~CWakeup()
{
    for (const int fd : m_fds) {
        if (fd >= 0)
            close(fd);
    }
}

void CWakeup::Signal()
{
    const char byte = 1;
    if (m_fds[1] >= 0)
        (void)!write(m_fds[1], &byte, 1);
}

bool CWakeup::Signalled() const
{
    pollfd entry{m_fds[0], POLLIN, 0};
    return m_fds[0] >= 0 && poll(&entry, 1, 0) > 0;
}

CChildProcess::~CChildProcess()
{
    if (Running())
        KillGroup();
    if (m_pidFd >= 0)
        close(m_pidFd);
    if (m_errFd >= 0)
        close(m_errFd);
}

bool CChildProcess::Start(const std::vector<std::string>& argv, const std::string& workingDirectory,
                          const std::vector<std::string>& setVariables,
                          const std::vector<std::string>& unsetVariables, std::string* error)
{
    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        if (error)
            *error = std::strerror(errno);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A session of its own: no controlling terminal, and a process group
    // (led by the child) that KillGroup ends as a whole.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const std::vector<std::string> environment = ChildEnvironment(setVariables, unsetVariables);
    std::vector<char*> envp;
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int result = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(errPipe[1]);
    if (result != 0) {
        close(errPipe[0]);
        if (error)
            *error = std::strerror(result);
        return false;
    }
    m_pid = pid;
    m_bReaped = false;
    m_errFd = errPipe[0];
    fcntl(m_errFd, F_SETFL, O_NONBLOCK);
    m_pidFd = PidFdOpen(pid);
    return true;
}

void CChildProcess::KeepError(const char* data, std::size_t length)
{
    if (m_strErrHead.size() < kErrorKeep) {
        const std::size_t take = std::min(length, kErrorKeep - m_strErrHead.size());
        m_strErrHead.append(data, take);
        data += take;
        length -= take;
    }
    if (length == 0)
        return;
    m_strErrTail.append(data, length);
    if (m_strErrTail.size() > 2 * kErrorKeep) {
        m_strErrTail.erase(0, m_strErrTail.size() - kErrorKeep);
        m_bErrCut = true;
    }
}

void CChildProcess::DrainError()
{
    if (m_errFd < 0)
        return;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(m_errFd, buffer, sizeof buffer);
        if (got > 0) {
            KeepError(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0) {
            close(m_errFd);
            m_errFd = -1;
        }
        return;
    }
}

std::string CChildProcess::StandardError() const
{
    if (m_strErrTail.empty())
        return m_strErrHead;
    std::string tail = m_strErrTail;
    if (tail.size() > kErrorKeep) {
        tail.erase(0, tail.size() - kErrorKeep);
    }
    return m_strErrHead + (m_bErrCut || tail.size() < m_strErrTail.size() ? "\n[...]\n" : "") + tail;
}

bool CChildProcess::Reap(bool block)
{
    if (m_pid <= 0 || m_bReaped)
        return true;
    int status = 0;
    pid_t got;
    do {
        got = waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == m_pid) {
        m_nStatus = status;
        m_bReaped = true;
        DrainError();
        return true;
    }
    return got < 0; // no such child: nothing left to wait for
}

CChildProcess::WaitResult CChildProcess::Wait(std::chrono::milliseconds timeout, const CWakeup& wakeup,
                                              const std::function<void()>& tick)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (Reap(false))
            return WaitResult::Exited;
        if (wakeup.Signalled())
            return WaitResult::Woken;
        int waitMs = 100;
        if (timeout.count() >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return WaitResult::TimedOut;
            waitMs = static_cast<int>(std::min<long long>(left, 100));
        }
        pollfd entries[3];
        nfds_t count = 0;
        entries[count++] = pollfd{wakeup.Fd(), POLLIN, 0};
        if (m_errFd >= 0)
            entries[count++] = pollfd{m_errFd, POLLIN, 0};
        if (m_pidFd >= 0)
            entries[count++] = pollfd{m_pidFd, POLLIN, 0};
        // Without a pidfd the poll still ends every 100 ms at the latest.
        if (poll(entries, count, m_pidFd >= 0 ? waitMs : std::min(waitMs, 20)) < 0 && errno != EINTR)
            usleep(20000);
        DrainError();
        if (tick)
            tick();
    }
}

void CChildProcess::KillGroup(std::chrono::milliseconds grace)
{
    if (m_pid <= 0 || m_bReaped)
        return;
    kill(-m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Reap(false))
            break;
        usleep(10000);
    }
    // Whatever is left of the group, grandchildren included, goes now.
    kill(-m_pid, SIGKILL);
    Reap(true);
}

} // namespace battsim
