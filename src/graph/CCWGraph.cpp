#include "CCWGraph.h"

#include "CGraphPlots.h"

#include <qcustomplot.h>

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFrameWidth = 2;
constexpr double kEmptyRange = 5.0;

QColor FromColorRef(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

bool IsLight(const QColor& color)
{
    return 0.299 * color.redF() + 0.587 * color.greenF() + 0.114 * color.blueF() > 0.5;
}

} // namespace

CCWGraph::CCWGraph(QWidget* parent)
    : QWidget(parent)
    , m_pPlot(new QCustomPlot(this))
    , m_pTitle(nullptr)
    , m_pNote(nullptr)
    , m_pReadout(new QLabel(m_pPlot))
    , m_nBackColor(0xE6E6E6)
    , m_nPlotAreaColor(0xFFFFFF)
    , m_nFrameColor(0x808080)
    , m_nFrameStyle(1)
{
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth);
    layout->addWidget(m_pPlot);

    QFont font(QStringLiteral("Arial"), 8);
    m_pPlot->setFont(font);
    m_pPlot->plotLayout()->insertRow(0);
    QFont titleFont(QStringLiteral("Arial"), 10, QFont::Bold);
    m_pTitle = new QCPTextElement(m_pPlot, QString(), titleFont);
    m_pPlot->plotLayout()->addElement(0, 0, m_pTitle);

    QCPGraph* graph = m_pPlot->addGraph();
    graph->setName(QStringLiteral("Plot-1"));
    graph->setAdaptiveSampling(true);
    m_pPlot->xAxis->setLabel(QStringLiteral("Time (hr)"));
    m_pPlot->yAxis->setLabel(QStringLiteral("Voltage (V)"));
    m_pPlot->xAxis->setLabelFont(font);
    m_pPlot->yAxis->setLabelFont(font);
    m_pPlot->xAxis->setRange(0, kEmptyRange);
    m_pPlot->yAxis->setRange(0, kEmptyRange);
    m_pPlot->xAxis2->setVisible(true);
    m_pPlot->yAxis2->setVisible(true);
    m_pPlot->xAxis2->setTickLabels(false);
    m_pPlot->yAxis2->setTickLabels(false);
    connect(m_pPlot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), m_pPlot->xAxis2,
            qOverload<const QCPRange&>(&QCPAxis::setRange));
    connect(m_pPlot->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), m_pPlot->yAxis2,
            qOverload<const QCPRange&>(&QCPAxis::setRange));

    m_pNote = new QCPItemText(m_pPlot);
    m_pNote->setPositionAlignment(Qt::AlignTop | Qt::AlignRight);
    m_pNote->setTextAlignment(Qt::AlignLeft);
    m_pNote->position->setType(QCPItemPosition::ptAxisRectRatio);
    m_pNote->position->setCoords(0.985, 0.03);
    m_pNote->setPadding(QMargins(6, 4, 6, 4));
    m_pNote->setFont(font);
    m_pNote->setVisible(false);

    // Room for the widest usual tick labels, so that zooming does not shift
    // the plot area under the pointer when the labels change width.
    m_pPlot->axisRect()->setMinimumMargins(QMargins(64, 12, 16, 12));
    m_pPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    connect(m_pPlot, &QCustomPlot::mouseDoubleClick, this, [this] { FitAll(); });

    m_pReadout->setObjectName(QStringLiteral("readout"));
    m_pReadout->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pReadout->setStyleSheet(QStringLiteral("QLabel { background: rgba(255,255,255,220); color: black;"
                                             " border: 1px solid #909090; padding: 1px 4px; }"));
    m_pReadout->hide();
    m_pPlot->setMouseTracking(true);
    m_pPlot->installEventFilter(this);

    ApplyColors();
}

CCWGraph::~CCWGraph() = default;

void CCWGraph::SetCaption(const QString& caption)
{
    m_pTitle->setText(caption);
    Redraw();
}

QString CCWGraph::Caption() const
{
    return m_pTitle->text();
}

void CCWGraph::ClearData()
{
    m_pPlot->graph(0)->data()->clear();
    m_dMaxX = 0.0;
    m_dMaxY = 0.0;
    m_pNote->setText(QString());
    m_pNote->setVisible(false);
    FitAll();
}

void CCWGraph::SetBackColor(int color)
{
    m_nBackColor = color;
    ApplyColors();
}

int CCWGraph::GetProperty(int id) const
{
    switch (id) {
    case kFrameColor:
        return m_nFrameColor;
    case kPlotAreaColor:
        return m_nPlotAreaColor;
    case kFrameStyle:
        return m_nFrameStyle;
    default:
        return 0;
    }
}

void CCWGraph::SetProperty(int id, int value)
{
    switch (id) {
    case kFrameColor:
        m_nFrameColor = value;
        break;
    case kPlotAreaColor:
        m_nPlotAreaColor = value;
        break;
    case kFrameStyle:
        m_nFrameStyle = value;
        break;
    default:
        return;
    }
    ApplyColors();
}

void CCWGraph::ApplyColors()
{
    const QColor back = FromColorRef(m_nBackColor);
    const QColor area = FromColorRef(m_nPlotAreaColor);
    const QColor ink = IsLight(area) ? QColor(0x20, 0x20, 0x20) : QColor(0xF0, 0xF0, 0xF0);
    const QColor curve = IsLight(area) ? QColor(0x10, 0x3C, 0x9C) : QColor(0xFF, 0xE0, 0x30);
    const QColor grid = IsLight(area) ? QColor(0xC8, 0xC8, 0xC8) : QColor(0x50, 0x50, 0x50);
    const QColor labelInk = IsLight(back) ? QColor(0x20, 0x20, 0x20) : QColor(0xF0, 0xF0, 0xF0);

    m_pPlot->setBackground(back);
    m_pPlot->axisRect()->setBackground(area);
    for (QCPAxis* axis : m_pPlot->axisRect()->axes()) {
        axis->setBasePen(QPen(ink));
        axis->setTickPen(QPen(ink));
        axis->setSubTickPen(QPen(ink));
        axis->setTickLabelColor(labelInk);
        axis->setLabelColor(labelInk);
        axis->grid()->setPen(QPen(grid, 0, Qt::DotLine));
    }
    m_pTitle->setTextColor(labelInk);
    m_pNote->setColor(ink);
    m_pNote->setPen(QPen(grid.darker(130)));
    m_pNote->setBrush(QBrush(area));
    QPen pen(curve);
    pen.setWidthF(1.6);
    m_pPlot->graph(0)->setPen(pen);
    update();
    Redraw();
}

void CCWGraph::DrawFrame(QPainter& painter, const QRect& rect) const
{
    if (m_nFrameStyle == 1) {
        qDrawShadePanel(&painter, rect, palette(), true, kFrameWidth);
    } else {
        painter.setPen(QPen(FromColorRef(m_nFrameColor), kFrameWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(1, 1, -1, -1));
    }
}

// Changes made in one turn of the event loop (data, axes, note) are drawn
// once, when it next runs: drawing a large curve costs more than any of them.
void CCWGraph::Redraw()
{
    m_pPlot->replot(QCustomPlot::rpQueuedReplot);
}

void CCWGraph::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), FromColorRef(m_nBackColor));
    DrawFrame(painter, rect());
}

std::shared_ptr<QPicture> CCWGraph::GraphPicture()
{
    auto picture = std::make_shared<QPicture>();
    QCPPainter painter(picture.get());
    const QRect whole(0, 0, width(), height());
    painter.setClipRect(whole);
    painter.fillRect(whole, FromColorRef(m_nBackColor));
    painter.save();
    painter.translate(kFrameWidth, kFrameWidth);
    m_pPlot->toPainter(&painter, width() - 2 * kFrameWidth, height() - 2 * kFrameWidth);
    painter.restore();
    DrawFrame(painter, whole);
    painter.end();
    picture->setBoundingRect(whole);
    return picture;
}

void CCWGraph::RenderPicture(QPainter& painter, const QPicture& picture, const QRectF& target)
{
    const QRect bounds = picture.boundingRect();
    if (bounds.isEmpty())
        return;
    // Playing a picture scales it by the device's resolution over the
    // picture's own; the rest of the scale makes it fill the target.
    const QPaintDevice* device = painter.device();
    const double playbackX = static_cast<double>(device->logicalDpiX()) / picture.logicalDpiX();
    const double playbackY = static_cast<double>(device->logicalDpiY()) / picture.logicalDpiY();
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / (bounds.width() * playbackX), target.height() / (bounds.height() * playbackY));
    painter.drawPicture(-bounds.topLeft(), picture);
    painter.restore();
}

CGraphPlots CCWGraph::PlotCollection()
{
    return CGraphPlots(this);
}

void CCWGraph::SetPlotData(int index, const float* x, const float* y, std::size_t count)
{
    Q_UNUSED(index);
    // One pass over the floats: the points are built in place (no default
    // construction first), the maxima are taken in single precision (a
    // float widens to the same double either way) and the order is checked.
    QVector<QCPGraphData> points;
    points.reserve(static_cast<qsizetype>(count));
    float maxX = 0.0f;
    float maxY = 0.0f;
    bool sorted = true;
    for (std::size_t i = 0; i < count; ++i) {
        const float key = x[i];
        const float value = y[i];
        points.emplaceBack(key, value);
        if (std::isfinite(key))
            maxX = std::max(maxX, key);
        if (std::isfinite(value))
            maxY = std::max(maxY, value);
        if (i > 0 && key < x[i - 1])
            sorted = false;
    }
    // The container takes the vector as it is (it is shared, not copied).
    m_pPlot->graph(0)->data()->set(points, sorted);
    m_dMaxX = static_cast<double>(maxX);
    m_dMaxY = static_cast<double>(maxY);
    FitAll();
}

std::size_t CCWGraph::PointCount() const
{
    return static_cast<std::size_t>(m_pPlot->graph(0)->data()->size());
}

void CCWGraph::SetNote(const QString& text)
{
    m_pNote->setText(text);
    m_pNote->setVisible(!text.isEmpty());
    Redraw();
}

QString CCWGraph::Note() const
{
    return m_pNote->text();
}

void CCWGraph::FitAll()
{
    const double right = m_dMaxX > 0.0 ? m_dMaxX : kEmptyRange;
    const double top = m_dMaxY > 0.0 ? m_dMaxY * 1.08 : kEmptyRange;
    m_pPlot->xAxis->setRange(0.0, right);
    m_pPlot->yAxis->setRange(0.0, top);
    Redraw();
}

bool CCWGraph::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pPlot) {
        if (event->type() == QEvent::MouseMove)
            UpdateReadout(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Leave)
            m_pReadout->hide();
    }
    return QWidget::eventFilter(watched, event);
}

void CCWGraph::UpdateReadout(const QPoint& position)
{
    if (!m_pPlot->axisRect()->rect().contains(position)) {
        m_pReadout->hide();
        return;
    }
    const double hours = m_pPlot->xAxis->pixelToCoord(position.x());
    const double volts = m_pPlot->yAxis->pixelToCoord(position.y());
    m_pReadout->setText(QStringLiteral("t = %1 h (%2 min)   V = %3 V")
                            .arg(hours, 0, 'f', 3)
                            .arg(hours * 60.0, 0, 'f', 1)
                            .arg(volts, 0, 'f', 3));
    m_pReadout->adjustSize();
    const QRect area = m_pPlot->axisRect()->rect();
    m_pReadout->move(area.left() + 4, area.bottom() - m_pReadout->height() - 3);
    m_pReadout->show();
    m_pReadout->raise();
}
