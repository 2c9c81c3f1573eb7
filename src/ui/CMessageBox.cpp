#include "CMessageBox.h"

#include <QCoreApplication>

namespace CMessageBox {

void Show(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

void Error(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    Show(parent, text, QStringLiteral("ERROR"), icon);
}

void Framework(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    Show(parent, text, QCoreApplication::applicationName(), icon);
}

} // namespace CMessageBox
