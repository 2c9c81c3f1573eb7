#include "CConstLoadDlg.h"

#include "CDataExchange.h"

CConstLoadDlg::CConstLoadDlg(QWidget* parent)
    : CTemplateDialog(battsim::IDD_CONSTANT_LOAD, parent)
{
}

void CConstLoadDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Text(1005, m_dVoltage);
    dx.MinMaxDouble(m_dVoltage, 0.0, 1e7);
    dx.Text(1006, m_dDuration);
    dx.MinMaxDouble(m_dDuration, 0.0, 1e10);
    dx.Text(1007, m_dTimeStep);
    dx.MinMaxDouble(m_dTimeStep, 1e-9, 1e7);
    dx.Text(1014, m_dResistance);
    dx.MinMaxDouble(m_dResistance, 1e-9, 1e11);
}
