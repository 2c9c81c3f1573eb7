#include "CGraphPlots.h"

#include "CCWGraph.h"
#include "GraphArray.h"

using battsim::CGraphArray;
using battsim::CGraphArrayError;

CGraphPlot CGraphPlots::Item(double index) const
{
    if (index != 1.0)
        throw CGraphArrayError("the graph has one plot, number 1");
    return CGraphPlot(m_pGraph, 1);
}

void CGraphPlot::PlotXY(const CGraphArray& x, const CGraphArray& y)
{
    const auto isVector = [](const CGraphArray& array) {
        return array.Type() == (battsim::VT_ARRAY | battsim::VT_R4) && array.GetDim() == 1;
    };
    if (!isVector(x) || !isVector(y))
        throw CGraphArrayError("PlotXY takes one-dimensional arrays of floats");
    if (x.GetElementCount() != y.GetElementCount())
        throw CGraphArrayError("PlotXY takes arrays of the same length");
    m_pGraph->SetPlotData(m_nIndex, static_cast<const float*>(x.Data()), static_cast<const float*>(y.Data()),
                          static_cast<std::size_t>(x.GetElementCount()));
}
