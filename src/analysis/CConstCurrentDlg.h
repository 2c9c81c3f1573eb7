#pragma once

#include "CTemplateDialog.h"

// "Constant Current Analysis" (template 132): voltage, current, duration and
// time step of a constant current discharge.
class CConstCurrentDlg final : public CTemplateDialog
{
    Q_OBJECT

public:
    explicit CConstCurrentDlg(QWidget* parent = nullptr);

    double m_dVoltage = 0.0;
    double m_dCurrent = 0.0;
    double m_dDuration = 0.0;
    double m_dTimeStep = 0.0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
};
