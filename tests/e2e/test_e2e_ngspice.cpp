// The program end to end with the real ngspice: a sample model is selected
// in the window, each analysis runs from its menu command with the proposed
// values, and the graph shows the whole run.

#include "CCWGraph.h"
#include "CModelSelectDlg.h"
#include "CSimulatorDlg.h"
#include "TempDir.h"
#include "UiHelpers.h"

#include <qcustomplot.h>

#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace {

std::size_t DataLines(const std::string& path)
{
    const std::string text = ReadFile(path);
    std::size_t lines = 0;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && c >= '0' && c <= '9')
            ++lines;
        lineStart = c == '\n';
    }
    return lines;
}

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char here[4096];
        m_oldDir = getcwd(here, sizeof here);
        std::filesystem::copy(BATTSIM_SAMPLE_DIR, work.Path(), std::filesystem::copy_options::recursive);
        ASSERT_EQ(chdir(work.Path().c_str()), 0);
        window = std::make_unique<CSimulatorDlg>();
        window->show();
    }
    void TearDown() override
    {
        window.reset();
        ASSERT_EQ(chdir(m_oldDir.c_str()), 0);
    }

    void SelectModel(int line)
    {
        SelectModelInWindow(*window, line);
        ASSERT_NE(window->m_pSelectedModel, nullptr);
    }

    // Runs the analysis with its proposals (edited by `edit`) and waits for the end.
    std::vector<CModalScript::Box> Run(int command, const std::function<void(CTemplateDialog&)>& edit = {})
    {
        return AcceptAnalysisInWindow(*window, command, edit, [this] { return !window->RunInProgress(); }, 300000);
    }

    void ExpectNoWorkFiles()
    {
        for (const char* name : {"Analyz.cir", "spice0_0.bat", "tmp0x1x0.$$$"})
            EXPECT_FALSE(FileExists(work / name)) << name;
        EXPECT_FALSE(FileExists(window->m_strCircuitTempPath));
        EXPECT_FALSE(FileExists(window->m_strParamTempPath));
    }

    CTestDir work;
    std::unique_ptr<CSimulatorDlg> window;
    std::string m_oldDir;
};

struct AnalysisCase
{
    const char* label;
    int model;
    int command;
    bool reachesCutoff;
};

class SampleAnalysis : public EndToEnd, public ::testing::WithParamInterface<AnalysisCase>
{
};

TEST_P(SampleAnalysis, PlotsTheWholeRunFromTheMenuCommand)
{
    const AnalysisCase& c = GetParam();
    SelectModel(c.model);
    ASSERT_NE(window->m_pSelectedModel, nullptr);
    const battsim::CBatteryModel model = *window->m_pSelectedModel;
    const auto boxes = Run(c.command);
    for (const auto& box : boxes)
        ADD_FAILURE() << box.text.toStdString();

    const std::size_t lines = DataLines(work / model.m_strOutputFile);
    EXPECT_GT(lines, 18000u) << "5 h at 1 s";
    EXPECT_EQ(window->m_graph->PointCount(), lines);
    const battsim::CResultSeries& series = window->LastSeries();
    ASSERT_EQ(series.Size(), lines);
    EXPECT_NEAR(series.hours.back(), 5.0, 1e-3);
    EXPECT_NEAR(series.volts.front(), model.m_dEmax, 0.05);
    EXPECT_EQ(series.cutoffIndex.has_value(), c.reachesCutoff);
    if (c.reachesCutoff) {
        EXPECT_EQ(series.volts.back(), 0.0f);
        EXPECT_LT(series.volts[*series.cutoffIndex], model.m_dEmin);
        EXPECT_GE(series.volts[*series.cutoffIndex - 1], model.m_dEmin);
        EXPECT_TRUE(window->m_graph->Note().contains("Runtime to")) << window->m_graph->Note().toStdString();
    }
    for (const float volts : series.volts) {
        EXPECT_GE(volts, -0.001f);
        EXPECT_LE(volts, model.m_dEmax + 0.5);
    }
    ExpectNoWorkFiles();
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(window->m_progressBar->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Models, SampleAnalysis,
    ::testing::Values(AnalysisCase{"lipo_constant_current", 0, CSimulatorDlg::ID_CONSTANT_CURRENT, true},
                      AnalysisCase{"lipo_constant_load", 0, CSimulatorDlg::ID_CONSTANT_LOAD, false},
                      AnalysisCase{"lipo_variable_current", 0, CSimulatorDlg::ID_VARIABLE_CURRENT, false},
                      AnalysisCase{"nimh_constant_current", 1, CSimulatorDlg::ID_CONSTANT_CURRENT, true},
                      AnalysisCase{"nimh_constant_load", 1, CSimulatorDlg::ID_CONSTANT_LOAD, false},
                      AnalysisCase{"nimh_variable_current", 1, CSimulatorDlg::ID_VARIABLE_CURRENT, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EndToEnd, ConstantLoadThatEmptiesTheCellCutsOff)
{
    SelectModel(0);
    const auto boxes = Run(CSimulatorDlg::ID_CONSTANT_LOAD, [](CTemplateDialog& dialog) { SetText(dialog, 1014, "4.8"); });
    EXPECT_TRUE(boxes.empty());
    const battsim::CResultSeries& series = window->LastSeries();
    ASSERT_TRUE(series.cutoffIndex);
    EXPECT_NEAR(series.hours[*series.cutoffIndex], 1.085, 0.02);
}

TEST_F(EndToEnd, ClosingDuringALongRunLeavesNoSimulatorBehind)
{
    std::random_device seed;
    const std::string marker = std::to_string(seed()) + std::to_string(seed());
    setenv("BATTSIM_FAKE_MARKER", marker.c_str(), 1);
    SelectModel(0);
    CModalScript script;
    script.Then([](QWidget* dialog) {
        auto* analysis = static_cast<CTemplateDialog*>(dialog);
        SetText(*analysis, 1006, "2000");
        SetText(*analysis, 1007, "0.01");
        Click(*analysis, 1);
    });
    window->OnCommand(CSimulatorDlg::ID_CONSTANT_CURRENT);
    ASSERT_TRUE(window->RunInProgress());
    ASSERT_TRUE(WaitUntil([&] { return ProcessesWithMarker(marker) > 0; }, 5000));
    QTest::qWait(500);
    window->close();
    EXPECT_FALSE(window->RunInProgress());
    EXPECT_TRUE(NoProcessLeft(marker));
    unsetenv("BATTSIM_FAKE_MARKER");
    EXPECT_FALSE(FileExists(work / "spice0_0.bat"));
}

} // namespace
