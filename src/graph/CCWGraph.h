#pragma once

#include <QPicture>
#include <QWidget>

#include <memory>
#include <vector>

class QCustomPlot;
class QCPTextElement;
class QCPItemText;
class QLabel;
class CGraphPlots;
class QPainter;

// The graph control: one plot of voltage against time on a QCustomPlot,
// with the operations the program calls by their historical numbers.
//
//   Caption (-518)       the title above the plot.
//   method 19            ClearData(): removes the plotted data (and the
//                        result note) and shows the empty axes again.
//   BackColor (-501)     colour of the whole control's background.
//   property 8           colour of the plot area behind the curve.
//   property 1           colour of the frame drawn around the control.
//   property 22          frame style: 1 a sunken three-dimensional frame,
//                        0 a flat frame in the frame colour (white on paper).
//   GraphPicture (23)    the graph as drawn now, as a vector picture.
//   PlotCollection (10)  the plots; Item(1.0) is the first and only one.
//
// Colours are 0x00BBGGRR values. Text, axes and the curve take a dark or a
// light colour by the plot area's brightness, so a white page prints dark.
// The view zooms with the wheel around the pointer, pans by dragging, fits
// the whole run on a double click, and shows the time and voltage under the
// pointer (the readout is not part of the picture).
class CCWGraph final : public QWidget
{
    Q_OBJECT

public:
    enum Property : int {
        kFrameColor = 1,
        kPlotAreaColor = 8,
        kFrameStyle = 22,
    };

    explicit CCWGraph(QWidget* parent = nullptr);
    ~CCWGraph() override;

    void SetCaption(const QString& caption);
    QString Caption() const;

    // Method 19.
    void ClearData();

    int BackColor() const { return m_nBackColor; }
    void SetBackColor(int color);
    int GetProperty(int id) const;
    void SetProperty(int id, int value);

    std::shared_ptr<QPicture> GraphPicture();
    // Draws a picture scaled to fill `target` on the painter's device.
    static void RenderPicture(QPainter& painter, const QPicture& picture, const QRectF& target);
    CGraphPlots PlotCollection();

    // What the plots hand on: the points of plot `index` (1 = the first).
    void SetPlotData(int index, const float* x, const float* y, std::size_t count);
    std::size_t PointCount() const;

    // A note drawn in the plot's upper right corner (empty: none).
    void SetNote(const QString& text);
    QString Note() const;

    // Shows the whole run again.
    void FitAll();

    QCustomPlot* Plot() const { return m_pPlot; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Redraw();
    void ApplyColors();
    void UpdateReadout(const QPoint& position);
    void DrawFrame(QPainter& painter, const QRect& rect) const;

    QCustomPlot* m_pPlot;
    QCPTextElement* m_pTitle;
    QCPItemText* m_pNote;
    QLabel* m_pReadout;
    int m_nBackColor;
    int m_nPlotAreaColor;
    int m_nFrameColor;
    int m_nFrameStyle;
    double m_dMaxX = 0.0;
    double m_dMaxY = 0.0;
};
