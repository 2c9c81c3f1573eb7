#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Modal message boxes in the program's two styles: the system's own
// ("ERROR" caption) and the framework's (the application name as caption).
namespace CMessageBox {

// Shows a box owned by `parent` and returns when it is closed.
void Show(QWidget* parent, const QString& text, const QString& caption, QMessageBox::Icon icon);

// "ERROR" caption.
void Error(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Critical);

// The application name as caption.
void Framework(QWidget* parent, const QString& text, QMessageBox::Icon icon);

} // namespace CMessageBox
