#include "CRunBridge.h"

#include <QMetaObject>

#include <memory>

CRunBridge::CRunBridge(Handlers handlers, QObject* parent)
    : QObject(parent)
    , m_handlers(std::move(handlers))
{
}

void CRunBridge::Post(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void CRunBridge::ShowProgress()
{
    Post([this] { m_handlers.showProgress(); });
}

void CRunBridge::SetWindowEnabled(bool enabled)
{
    Post([this, enabled] { m_handlers.setWindowEnabled(enabled); });
}

void CRunBridge::ShowResult(battsim::CResultSeries series)
{
    auto shared = std::make_shared<battsim::CResultSeries>(std::move(series));
    Post([this, shared] { m_handlers.showResult(*shared); });
}

void CRunBridge::HideProgress()
{
    Post([this] { m_handlers.hideProgress(); });
}

void CRunBridge::Finished(const battsim::RunOutcome& outcome)
{
    Post([this, outcome] { m_handlers.finished(outcome); });
}
