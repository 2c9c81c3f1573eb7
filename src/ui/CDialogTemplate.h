#pragma once

#include "DialogTemplates.h"

#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>

class QWidget;

// Builds the controls of a dialog template into a parent widget, in
// template order, converting dialog units with the template font's metrics.
// Every control with a number gets the object name "id<number>".
class CDialogTemplate final
{
public:
    explicit CDialogTemplate(const battsim::DialogTemplate& dialogTemplate);

    QFont Font() const { return m_font; }
    // Dialog units to pixels: x * average character width / 4, y * height / 8.
    QRect ToPixels(int x, int y, int cx, int cy) const;
    QSize ClientSize() const;

    // Creates the controls as children of `parent`.
    void Build(QWidget* parent) const;

    // The text a static label shows: "&&" as one "&" and a single "&" not
    // at all, or every "&" as it stands when the label takes no prefix.
    static QString LabelText(const char* text, bool noPrefix);

    // Draws SVG art at `size`, keeping its proportions, for a screen of
    // device pixel ratio `ratio`.
    static QPixmap RenderArt(const QString& resource, const QSize& size, qreal ratio);

    static QString ObjectName(int id) { return QStringLiteral("id%1").arg(id); }

private:
    const battsim::DialogTemplate& m_template;
    QFont m_font;
    int m_nBaseX = 0;
    int m_nBaseY = 0;
};
