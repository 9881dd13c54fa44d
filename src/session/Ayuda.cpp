// The module's help pages: where they are and opening them in the browser.

#include "session/Ayuda.h"

#include "session/G.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWidget>

namespace {

// Seen by the application before any control of the window, so that F1 works whatever has the
// focus; a key that no control of ours uses.
class TeclaAyuda : public QObject {
public:
    TeclaAyuda(QWidget& window, QString tema)
        : QObject(&window), m_window(window), m_tema(std::move(tema)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || !widget ||
            widget->window() != m_window.window())
            return false;
        Ayuda::Abrir(m_tema);
        return true;
    }

private:
    QWidget& m_window;
    QString m_tema;
};

} // namespace

QStringList Ayuda::Carpetas() {
    return {
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/tvfacturacion/ayuda"),
        QStringLiteral(TV_AYUDA_FUENTE)};
}

QUrl Ayuda::Pagina(const QString& tema) {
    const QString pagina = tema.section('#', 0, 0);
    const QString ancla = tema.section('#', 1);
    for (const QString& carpeta : Carpetas()) {
        const QFileInfo archivo(QDir(carpeta).filePath(pagina));
        if (!archivo.isFile())
            continue;
        QUrl url = QUrl::fromLocalFile(archivo.absoluteFilePath());
        if (!ancla.isEmpty())
            url.setFragment(ancla);
        return url;
    }
    return {};
}

void Ayuda::Abrir(const QString& tema) {
    const QUrl url = Pagina(tema);
    if (url.isEmpty()) {
        ShowMessage(MessageKind::Notice, "No se encuentra la ayuda (" + tema.section('#', 0, 0) +
                                             "). Se ha buscado en:\n" + Carpetas().join('\n'));
        return;
    }
    if (!QDesktopServices::openUrl(url))
        ShowMessage(MessageKind::Notice,
                    "No hay ningún navegador con el que abrir la ayuda. La página está en " +
                        url.toLocalFile() + ".");
}

void Ayuda::Enlazar(QWidget& window, const QString& tema) {
    new TeclaAyuda(window, tema);
}
