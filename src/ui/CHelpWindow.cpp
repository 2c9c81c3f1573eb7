#include "CHelpWindow.h"

#include "CMessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* parent)
    : QDialog(parent, Qt::Window)
    , m_pBrowser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QCoreApplication::applicationName() + QStringLiteral(" help"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pBrowser);
    m_pBrowser->setOpenLinks(true);
    m_pBrowser->setOpenExternalLinks(false);
    resize(640, 560);
}

QString CHelpWindow::HelpFilePath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QCoreApplication::applicationName()
        + QStringLiteral(".html");
}

CHelpWindow* CHelpWindow::ShowContext(QWidget* owner, int context)
{
    QWidget* window = owner ? owner->window() : nullptr;
    const QString path = HelpFilePath();
    if (!QFileInfo(path).isFile()) {
        CMessageBox::Framework(window, QStringLiteral("Failed to launch help."), QMessageBox::Warning);
        return nullptr;
    }
    auto* help = window ? window->findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!help)
        help = new CHelpWindow(window);
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(QString::number(context));
    help->m_pBrowser->setSource(url);
    help->m_pBrowser->scrollToAnchor(QString::number(context));
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}
