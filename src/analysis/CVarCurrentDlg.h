#pragma once

#include "CTemplateDialog.h"

#include <array>

// "Constant Puls Analysis" (template 134): a current profile of ten
// time/current points, with voltage, duration and time step. Opens on the
// default profile every time.
class CVarCurrentDlg final : public CTemplateDialog
{
    Q_OBJECT

public:
    static constexpr int kPoints = 10;
    static const std::array<double, kPoints> kDefaultTimes;
    static const std::array<double, kPoints> kDefaultCurrents;
    // The time and current edits of rows 1 to 10.
    static const std::array<int, kPoints> kTimeIds;
    static const std::array<int, kPoints> kCurrentIds;

    explicit CVarCurrentDlg(QWidget* parent = nullptr);

    std::array<double*, kPoints> m_pCurrent{};
    std::array<double*, kPoints> m_pTime{};
    double m_dVoltage = 0.0;
    std::array<double, kPoints> m_dCurrent{};
    double m_dDuration = 0.0;
    double m_dTimeStep = 0.0;
    std::array<double, kPoints> m_dTime{};

protected:
    void DoDataExchange(CDataExchange& dx) override;
};
