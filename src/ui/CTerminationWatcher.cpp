#include "CTerminationWatcher.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

int g_nWakeFd = -1;
struct sigaction g_oldActions[kSignals.size()];

void OnSignal(int)
{
    const char byte = 1;
    if (g_nWakeFd >= 0)
        (void)!::write(g_nWakeFd, &byte, 1);
}

int g_pipe[2] = {-1, -1};

} // namespace

CTerminationWatcher::CTerminationWatcher(std::function<void()> onTermination, QObject* parent)
    : QObject(parent)
    , m_fnOnTermination(std::move(onTermination))
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_nWakeFd = g_pipe[1];
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(kSignals[i], &action, &g_oldActions[i]);
    }
    m_pNotifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] {
        char buffer[64];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        if (m_fnOnTermination)
            m_fnOnTermination();
    });
}

CTerminationWatcher::~CTerminationWatcher()
{
    if (!m_pNotifier)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        sigaction(kSignals[i], &g_oldActions[i], nullptr);
    g_nWakeFd = -1;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}
