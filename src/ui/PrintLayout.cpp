#include "PrintLayout.h"

PrintLayout ComputePrintLayout(int printableWidthMm, const QRect& graphRect, int screenDpiX, int screenDpiY,
                               int printerDpiX, int printerDpiY)
{
    PrintLayout layout;
    layout.widthInches = printableWidthMm * 0.03937007874015748;
    // The rectangle's right and bottom are exclusive, as a window rectangle's are.
    const double width = graphRect.width();
    const double height = graphRect.height();
    layout.heightInches = width > 0 ? layout.widthInches * height / width : 0.0;
    layout.captureSize = QSize(static_cast<int>(screenDpiX * layout.widthInches),
                               static_cast<int>(screenDpiY * layout.heightInches));
    layout.printRect = QRect(0, 0, static_cast<int>(printerDpiX * layout.widthInches),
                             static_cast<int>(printerDpiY * layout.heightInches));
    return layout;
}
