#include "AppSetup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>

#include <clocale>

void ConfigureApplication()
{
    // Message boxes of the framework's kind carry the executable's base name.
    QCoreApplication::setApplicationName(QFileInfo(QCoreApplication::applicationFilePath()).baseName());
    // Numbers are read and written with a decimal point, whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
    // The dialog fonts, where the system lacks them, by their metric twin.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QStringLiteral("Liberation Sans, Arial, sans-serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
}
