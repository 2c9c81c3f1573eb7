#pragma once

#include <QRect>
#include <QSize>

// Where the printed graph goes: as wide as the printable area, as high as
// the graph window's proportions make it, at the top left.
struct PrintLayout
{
    double widthInches = 0.0;
    double heightInches = 0.0;
    QSize captureSize;  // the graph window's size at screen resolution while it is drawn
    QRect printRect;    // the picture's place on the page, in printer pixels
};

PrintLayout ComputePrintLayout(int printableWidthMm, const QRect& graphRect, int screenDpiX, int screenDpiY,
                               int printerDpiX, int printerDpiY);
