#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

// The module's help: Spanish HTML pages, one per window (docs/ayuda), installed beside the
// program in ../share/tvfacturacion/ayuda and opened in the desktop's browser.
namespace Ayuda {

// Where the pages are looked for, in order: beside the installed program, then the source tree
// of the build the program comes from.
QStringList Carpetas();

// The page of a topic ("cobro.html", "facturacion.html#por-codigo") as a file address with its
// anchor; empty when no folder holds the page.
QUrl Pagina(const QString& tema);

// Opens the topic; when no page is found, or nothing can show it, says so and where it looked.
void Abrir(const QString& tema);

// F1 pressed anywhere in `window` opens `tema`. A window opened from it (a dialog) has its own.
void Enlazar(QWidget& window, const QString& tema);

} // namespace Ayuda
