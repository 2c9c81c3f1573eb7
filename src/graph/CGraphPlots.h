#pragma once

class CCWGraph;

namespace battsim {
class CGraphArray;
}

// One plot of a graph: PlotXY (21) shows y against x.
class CGraphPlot final
{
public:
    CGraphPlot(CCWGraph* graph, int index) : m_pGraph(graph), m_nIndex(index) {}

    // Both arrays must be one-dimensional VT_R4 arrays of the same length;
    // throws CGraphArrayError otherwise.
    void PlotXY(const battsim::CGraphArray& x, const battsim::CGraphArray& y);

private:
    CCWGraph* m_pGraph;
    int m_nIndex;
};

// The graph's plots: Item (0) picks one by its number, counted from 1.
class CGraphPlots final
{
public:
    explicit CGraphPlots(CCWGraph* graph) : m_pGraph(graph) {}

    // Throws CGraphArrayError for an index other than 1 (the graph has one plot).
    CGraphPlot Item(double index) const;

private:
    CCWGraph* m_pGraph;
};
