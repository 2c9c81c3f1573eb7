// The graph control: its numbered operations, the picture it hands to
// printing, and the view a user zooms and pans.

#include "CCWGraph.h"
#include "CGraphPlots.h"
#include "GraphArray.h"

#include <qcustomplot.h>

#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <numeric>

using battsim::CGraphArray;
using battsim::CGraphArrayError;

namespace {

class GraphTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        graph.resize(500, 300);
        graph.show();
    }
    void Plot(std::vector<float> x, std::vector<float> y)
    {
        const CGraphArray xs(x.data(), static_cast<int>(x.size()));
        const CGraphArray ys(y.data(), static_cast<int>(y.size()));
        graph.PlotCollection().Item(1.0).PlotXY(xs, ys);
    }
    // Share of pixels darker than mid gray in the picture rendered at its size.
    static double DarkShare(const QPicture& picture, QRgb* corner = nullptr)
    {
        QImage image(picture.boundingRect().size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        painter.drawPicture(0, 0, picture);
        painter.end();
        if (corner)
            *corner = image.pixel(image.width() - 1, image.height() - 1);
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                dark += qGray(image.pixel(x, y)) < 100;
        return static_cast<double>(dark) / (image.width() * image.height());
    }

    CCWGraph graph;
};

TEST_F(GraphTest, StartsWithItsStoredLook)
{
    EXPECT_EQ(graph.Plot()->graph(0)->name(), "Plot-1");
    EXPECT_EQ(graph.Plot()->xAxis->label(), "Time (hr)");
    EXPECT_EQ(graph.Plot()->yAxis->label(), "Voltage (V)");
    EXPECT_EQ(graph.PointCount(), 0u);
}

TEST_F(GraphTest, PlotXYShowsTheSeriesAndMethod19ClearsIt)
{
    graph.SetCaption("Simulation of Cell A");
    EXPECT_EQ(graph.Caption(), "Simulation of Cell A");
    Plot({0, 0.5f, 1}, {4.1f, 3.6f, 0});
    EXPECT_EQ(graph.PointCount(), 3u);
    EXPECT_DOUBLE_EQ(graph.Plot()->graph(0)->data()->at(1)->value, 3.6f);
    EXPECT_DOUBLE_EQ(graph.Plot()->xAxis->range().upper, 1.0);
    graph.SetNote("Runtime");
    graph.ClearData();
    EXPECT_EQ(graph.PointCount(), 0u);
    EXPECT_EQ(graph.Note(), "");
    EXPECT_EQ(graph.Caption(), "Simulation of Cell A");
}

TEST_F(GraphTest, PlotXYRefusesWhatIsNotTwoEqualVectorsOfFloats)
{
    const float three[] = {1, 2, 3};
    const CGraphArray x(three, 3);
    const CGraphArray y(three, 2);
    EXPECT_THROW(graph.PlotCollection().Item(1.0).PlotXY(x, y), CGraphArrayError);
    CGraphArray matrix;
    matrix.Create(battsim::VT_R4, 3, 1);
    EXPECT_THROW(graph.PlotCollection().Item(1.0).PlotXY(x, matrix), CGraphArrayError);
    CGraphArray doubles;
    doubles.Create(battsim::VT_R8, 3);
    EXPECT_THROW(graph.PlotCollection().Item(1.0).PlotXY(x, doubles), CGraphArrayError);
    EXPECT_THROW(graph.PlotCollection().Item(2.0), CGraphArrayError);
}

TEST_F(GraphTest, PropertiesReadBackAndPrintColoursMakeAWhitePage)
{
    const int back = graph.BackColor();
    EXPECT_NE(back, 0xFFFFFF);
    graph.SetBackColor(0x123456);
    EXPECT_EQ(graph.BackColor(), 0x123456);
    for (const int id : {CCWGraph::kFrameColor, CCWGraph::kPlotAreaColor, CCWGraph::kFrameStyle}) {
        graph.SetProperty(id, 7);
        EXPECT_EQ(graph.GetProperty(id), 7) << id;
    }

    Plot({0, 1, 2}, {4, 3.5f, 3});
    graph.SetBackColor(0xFFFFFF);
    graph.SetProperty(CCWGraph::kFrameStyle, 0);
    graph.SetProperty(CCWGraph::kPlotAreaColor, 0xFFFFFF);
    graph.SetProperty(CCWGraph::kFrameColor, 0xFFFFFF);
    const auto picture = graph.GraphPicture();
    EXPECT_EQ(picture->boundingRect(), QRect(0, 0, 500, 300));
    QRgb corner = 0;
    const double dark = DarkShare(*picture, &corner);
    EXPECT_EQ(corner, qRgb(255, 255, 255));
    // Axes, labels and the curve are dark ink on the white page.
    EXPECT_GT(dark, 0.003);
    EXPECT_LT(dark, 0.2);
}

TEST_F(GraphTest, CurveAndTextContrastWithADarkPlotArea)
{
    graph.SetProperty(CCWGraph::kPlotAreaColor, 0x000000);
    Plot({0, 1}, {1, 4});
    const QPen pen = graph.Plot()->graph(0)->pen();
    EXPECT_GT(qGray(pen.color().rgb()), 150);
}

TEST_F(GraphTest, WheelZoomsAroundThePointerAndDoubleClickFitsAgain)
{
    Plot({0, 1, 2, 3, 4}, {4, 3.9f, 3.8f, 3.5f, 3});
    QCustomPlot* plot = graph.Plot();
    const QCPRange before = plot->xAxis->range();
    // Off the centre, so that a zoom around the centre would show.
    const QPoint centre(plot->axisRect()->left() + plot->axisRect()->width() / 4, plot->axisRect()->center().y());
    const double pointerTime = plot->xAxis->pixelToCoord(centre.x());
    QWheelEvent wheel(centre, plot->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(plot, &wheel);
    const QCPRange zoomed = plot->xAxis->range();
    EXPECT_LT(zoomed.size(), before.size());
    // The time under the pointer stays (within what the margins moved by).
    EXPECT_NEAR(plot->xAxis->pixelToCoord(centre.x()), pointerTime, 0.02 * zoomed.size());
    // Around the centre the left end would have moved twice as far.
    EXPECT_NEAR(zoomed.lower - before.lower, (pointerTime - before.lower) * (1 - zoomed.size() / before.size()),
                0.02 * before.size());

    QTest::mouseMove(plot, centre);
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(plot, centre + QPoint(60, 0));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, centre + QPoint(60, 0));
    EXPECT_LT(plot->xAxis->range().lower, zoomed.lower);

    QTest::mouseDClick(plot, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_DOUBLE_EQ(plot->xAxis->range().lower, 0.0);
    EXPECT_DOUBLE_EQ(plot->xAxis->range().upper, 4.0);
}

TEST_F(GraphTest, ReadoutShowsTimeAndVoltageUnderThePointer)
{
    Plot({0, 2}, {0, 4});
    QCustomPlot* plot = graph.Plot();
    const QPoint at(plot->xAxis->coordToPixel(1.5), plot->yAxis->coordToPixel(2.0));
    QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(plot, &move);
    auto* readout = graph.findChild<QLabel*>("readout");
    ASSERT_NE(readout, nullptr);
    EXPECT_TRUE(readout->isVisible());
    const QStringList words = readout->text().split(' ', Qt::SkipEmptyParts);
    ASSERT_GE(words.size(), 8) << readout->text().toStdString();
    EXPECT_EQ(words[0], "t");
    EXPECT_NEAR(words[2].toDouble(), 1.5, 0.01);
    EXPECT_EQ(words[6], "V");
    EXPECT_NEAR(words[8].toDouble(), 2.0, 0.02);
}

TEST_F(GraphTest, AMillionPointsArePlottedWhole)
{
    std::vector<float> x(1000000);
    std::iota(x.begin(), x.end(), 0.0f);
    std::vector<float> y(x.size(), 3.7f);
    Plot(x, y);
    EXPECT_EQ(graph.PointCount(), 1000000u);
    EXPECT_TRUE(graph.Plot()->graph(0)->adaptiveSampling());
    graph.Plot()->replot(QCustomPlot::rpImmediateRefresh);
}

} // namespace
