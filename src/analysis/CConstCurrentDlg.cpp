#include "CConstCurrentDlg.h"

#include "CDataExchange.h"

CConstCurrentDlg::CConstCurrentDlg(QWidget* parent)
    : CTemplateDialog(battsim::IDD_CONSTANT_CURRENT, parent)
{
}

void CConstCurrentDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Text(1005, m_dVoltage);
    dx.MinMaxDouble(m_dVoltage, 0.0, 1000.0);
    dx.Text(1004, m_dCurrent);
    dx.MinMaxDouble(m_dCurrent, -1e6, 1e6);
    dx.Text(1006, m_dDuration);
    dx.MinMaxDouble(m_dDuration, 0.0, 1e12);
    dx.Text(1007, m_dTimeStep);
    dx.MinMaxDouble(m_dTimeStep, 1e-12, 1e6);
}
