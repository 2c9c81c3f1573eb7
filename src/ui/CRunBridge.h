#pragma once

#include "SimulationRun.h"

#include <QObject>

#include <functional>

// Carries a run's reports from the worker thread to the GUI thread: each
// call is queued to this object (which lives on the GUI thread) and applied
// there in the order the worker made them. Nothing here blocks the worker.
class CRunBridge final : public QObject, public battsim::IRunObserver
{
    Q_OBJECT

public:
    struct Handlers
    {
        std::function<void()> showProgress;
        std::function<void(bool)> setWindowEnabled;
        std::function<void(battsim::CResultSeries&)> showResult;
        std::function<void()> hideProgress;
        std::function<void(const battsim::RunOutcome&)> finished;
    };

    CRunBridge(Handlers handlers, QObject* parent);

    void ShowProgress() override;
    void SetWindowEnabled(bool enabled) override;
    void ShowResult(battsim::CResultSeries series) override;
    void HideProgress() override;
    void Finished(const battsim::RunOutcome& outcome) override;

private:
    void Post(std::function<void()> call);

    Handlers m_handlers;
};
