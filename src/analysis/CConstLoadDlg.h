#pragma once

#include "CTemplateDialog.h"

// "Constant Load Analysis" (template 103): voltage, duration, time step and
// load resistor of a discharge through a resistor.
class CConstLoadDlg final : public CTemplateDialog
{
    Q_OBJECT

public:
    explicit CConstLoadDlg(QWidget* parent = nullptr);

    double m_dVoltage = 0.0;
    double m_dDuration = 0.0;
    double m_dTimeStep = 0.0;
    double m_dResistance = 0.0;

protected:
    void DoDataExchange(CDataExchange& dx) override;
};
