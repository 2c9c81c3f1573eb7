#include "CVarCurrentDlg.h"

#include "CDataExchange.h"

const std::array<double, CVarCurrentDlg::kPoints> CVarCurrentDlg::kDefaultTimes{
    0, 1, 10000, 10001, 20000, 20001, 30000, 30001, 40000, 40001};
const std::array<double, CVarCurrentDlg::kPoints> CVarCurrentDlg::kDefaultCurrents{
    0, 0.065, 0.065, 0, 0, -0.065, -0.065, 0, 0, 0};
const std::array<int, CVarCurrentDlg::kPoints> CVarCurrentDlg::kTimeIds{
    1002, 1029, 1031, 1033, 1035, 1037, 1039, 1041, 1043, 1045};
const std::array<int, CVarCurrentDlg::kPoints> CVarCurrentDlg::kCurrentIds{
    1003, 1030, 1032, 1034, 1036, 1038, 1040, 1042, 1044, 1046};

CVarCurrentDlg::CVarCurrentDlg(QWidget* parent)
    : CTemplateDialog(battsim::IDD_VARIABLE_CURRENT, parent)
    , m_dCurrent(kDefaultCurrents)
    , m_dTime(kDefaultTimes)
{
    for (int i = 0; i < kPoints; ++i) {
        m_pCurrent[i] = &m_dCurrent[i];
        m_pTime[i] = &m_dTime[i];
    }
}

void CVarCurrentDlg::DoDataExchange(CDataExchange& dx)
{
    dx.Text(1005, m_dVoltage);
    for (int i = 0; i < kPoints; ++i) {
        dx.Text(kCurrentIds[i], m_dCurrent[i]);
        dx.MinMaxDouble(m_dCurrent[i], -1e8, 1e8);
    }
    dx.Text(1006, m_dDuration);
    dx.MinMaxDouble(m_dDuration, 0.0, 1e8);
    dx.Text(1007, m_dTimeStep);
    dx.MinMaxDouble(m_dTimeStep, 1e-10, 1e10);
    for (int i = 0; i < kPoints; ++i) {
        dx.Text(kTimeIds[i], m_dTime[i]);
        dx.MinMaxDouble(m_dTime[i], 0.0, 1e9);
    }
}
