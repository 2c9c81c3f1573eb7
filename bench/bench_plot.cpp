// Handing a run's 1.8 M points to the graph and drawing them, as the window
// does with a result: the series goes into two CGraphArray holders, through
// CGraphPlots/CGraphPlot::PlotXY to CCWGraph::SetPlotData (which fits the
// axes and asks for a redraw), then the frame is drawn at once, as the event
// loop draws it. The reader and
// the plain newline scan of the same output file run here too, so that
// their figures come from the same run.

#include "BenchSupport.h"
#include "CCWGraph.h"
#include "CGraphPlots.h"
#include "GraphArray.h"
#include "ResultReader.h"

#include <qcustomplot.h>

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

std::unique_ptr<bench::CResultFile> g_files;
CCWGraph* g_graph = nullptr;
battsim::CResultSeries g_series;

// What CSimulatorDlg::PlotSeries does with a series.
void PlotAsTheWindowDoes(const battsim::CResultSeries& series)
{
    const int count = static_cast<int>(series.Size());
    const battsim::CGraphArray x(series.hours.data(), count, -1, -1);
    const battsim::CGraphArray y(series.volts.data(), count, -1, -1);
    g_graph->PlotCollection().Item(1.0).PlotXY(x, y);
}

void DrawFrame()
{
    g_graph->Plot()->replot(QCustomPlot::rpImmediateRefresh);
}

bool AllPlotted(benchmark::State& state, std::size_t expected)
{
    if (g_graph->PointCount() != expected) {
        state.SkipWithError("the graph does not hold every point");
        return false;
    }
    return true;
}

void BM_OutputMemchrFloor(benchmark::State& state)
{
    bench::MemchrFloorLoop(state, g_files->output);
}

void BM_ResultReader(benchmark::State& state)
{
    bench::ResultReaderLoop(state, g_files->output, g_files->lines);
}

// PlotXY alone: the copies into the holders and SetPlotData.
void BM_PlotXY(benchmark::State& state)
{
    for (auto _ : state)
        PlotAsTheWindowDoes(g_series);
    AllPlotted(state, g_series.Size());
}

// One frame of the plotted points, drawn at once.
void BM_Replot(benchmark::State& state)
{
    g_graph->ClearData();
    PlotAsTheWindowDoes(g_series);
    for (auto _ : state)
        DrawFrame();
    AllPlotted(state, g_series.Size());
}

// The GUI thread's share of a run's result: PlotXY and one frame.
void BM_GuiThreadWork(benchmark::State& state)
{
    for (auto _ : state) {
        PlotAsTheWindowDoes(g_series);
        DrawFrame();
    }
    AllPlotted(state, g_series.Size());
}

// From the output file to the drawn frame.
void BM_ReadAndPlot(benchmark::State& state)
{
    for (auto _ : state) {
        const battsim::CResultSeries series = battsim::ReadResultFile(g_files->output, bench::kSampleMinimumVolts);
        PlotAsTheWindowDoes(series);
        DrawFrame();
    }
    AllPlotted(state, g_files->lines);
}

BENCHMARK(BM_OutputMemchrFloor)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ResultReader)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PlotXY)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Replot)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_GuiThreadWork)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReadAndPlot)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    g_files = std::make_unique<bench::CResultFile>();
    std::string error;
    if (!g_files->Write(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    g_series = battsim::ReadResultFile(g_files->output, bench::kSampleMinimumVolts);

    auto graph = std::make_unique<CCWGraph>();
    g_graph = graph.get();
    graph->SetCaption(QStringLiteral("Simulation of Li-ion polymer 850 mAh (PL-383562)"));
    graph->resize(900, 560);
    graph->show();
    QApplication::processEvents();
    std::printf("graph: %dx%d on the %s platform, %zu points\n", graph->width(), graph->height(),
                qPrintable(QGuiApplication::platformName()), g_series.Size());

    bench::CCollectingReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter))
        return 1;

    const char* const needed[] = {"BM_OutputMemchrFloor", "BM_ResultReader", "BM_PlotXY", "BM_Replot", "BM_GuiThreadWork",
                                  "BM_ReadAndPlot"};
    bool complete = true;
    for (const char* name : needed)
        complete &= reporter.Has(name);
    if (complete) {
        const double floor = reporter.Get("BM_OutputMemchrFloor").realSeconds;
        const double chain = reporter.Get("BM_ReadAndPlot").realSeconds;
        bench::PrintFigure(bench::Format(
            "plot: reader + plot of %.2f M points %.0f ms = %.2f x the memchr floor's time (%.1f ms) [goal <= 5 x];"
            " reader %.0f ms, PlotXY %.0f ms, one frame %.0f ms",
            static_cast<double>(g_files->lines) / 1e6, chain * 1e3, chain / floor, floor * 1e3,
            reporter.Get("BM_ResultReader").realSeconds * 1e3, reporter.Get("BM_PlotXY").realSeconds * 1e3,
            reporter.Get("BM_Replot").realSeconds * 1e3));
        bench::PrintFigure(bench::Format("GUI thread per run result: PlotXY + one frame of %.2f M points %.0f ms [goal < 100 ms]",
                                         static_cast<double>(g_series.Size()) / 1e6,
                                         reporter.Get("BM_GuiThreadWork").realSeconds * 1e3));
    }
    graph.reset();
    g_files.reset();
    return 0;
}
