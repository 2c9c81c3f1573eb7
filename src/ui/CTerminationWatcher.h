#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (a logout, a kill, Ctrl+C) into a call
// on the GUI thread, so that the program ends as if its window were closed:
// a run under way is stopped and its files removed. While the object lives
// it owns those signals' handlers; it puts the old ones back when it goes.
class CTerminationWatcher final : public QObject
{
    Q_OBJECT

public:
    explicit CTerminationWatcher(std::function<void()> onTermination, QObject* parent = nullptr);
    ~CTerminationWatcher() override;

private:
    std::function<void()> m_fnOnTermination;
    QSocketNotifier* m_pNotifier = nullptr;
};
