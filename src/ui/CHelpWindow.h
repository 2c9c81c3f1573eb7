#pragma once

#include <QDialog>

class QTextBrowser;

// The help viewer: the HTML help file beside the executable, named after it,
// opened at a context number (each topic is an anchor named by its number).
class CHelpWindow final : public QDialog
{
    Q_OBJECT

public:
    // The help file's path: <executable's folder>/<application name>.html.
    static QString HelpFilePath();

    // Opens (or raises) the help window of `owner`'s window at `context`.
    // Shows "Failed to launch help." when the help file is missing. Returns
    // the window, or null.
    static CHelpWindow* ShowContext(QWidget* owner, int context);

    QTextBrowser* Browser() const { return m_pBrowser; }

private:
    explicit CHelpWindow(QWidget* parent);

    QTextBrowser* m_pBrowser;
};
