#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>

// A file written whole or not at all, the one way every output of the suite reaches the disk.
// The bytes go to a temporary file beside the target (same folder, so the rename stays on one
// disk), every write is checked, the file is synced and only then renamed over the target. On any
// failure the temporary is removed, the old file stays as it was and a TvError 75 names the file
// and the cause in Spanish ("no queda espacio en el disco", a permission refused...).
//
// A target that is a symbolic link is always refused: the user named the link, and replacing the
// file it points to, somewhere else, is not what was asked. An existing file is replaced only
// when the program allows it (PermitirSustituir): the windows do, their file dialog has already
// asked; the command-line tools only with --force. That check is made again at the rename, which
// then refuses to replace a file that appeared meanwhile.
//
// The device buffers what it is given and writes in large pieces; it cannot be read or sought.
class ArchivoSeguro : public QIODevice {
public:
    enum class Sustituir {
        SegunPrograma, // an output the user named: PermitirSustituir decides
        Siempre,       // a file of the suite's own (a registry entry, a folder's settings)
    };

    // Checks the target and creates the temporary; raises TvError when either fails.
    explicit ArchivoSeguro(const QString& destino, Sustituir sustituir = Sustituir::SegunPrograma);
    // Without Terminar (an error on the way), the temporary goes and the target stays.
    ~ArchivoSeguro() override;

    ArchivoSeguro(const ArchivoSeguro&) = delete;
    ArchivoSeguro& operator=(const ArchivoSeguro&) = delete;

    // The temporary's path, for a library that writes a file by name instead of through a
    // device (the workbook of the books); it writes the same file this device holds open.
    QString Temporal() const { return m_temporal; }

    // Writes what is buffered, syncs, and renames the temporary over the target; raises at once
    // when a write has already failed.
    void Terminar();
    // Whether a write has failed (Terminar will say why).
    bool HaFallado() const { return m_error != 0; }
    // Gives the write up for the system's cause `error` (an errno) met by whoever wrote the
    // temporary by name: the temporary goes and TvError says why.
    [[noreturn]] void Fallar(int error);

    bool isSequential() const override { return true; }

    // The whole file in one call: from bytes, or from what llenar writes into the device (an
    // exception from llenar leaves the target untouched and goes on).
    static void Escribir(const QString& destino, const QByteArray& bytes,
                         Sustituir sustituir = Sustituir::SegunPrograma);
    static void Escribir(const QString& destino, const std::function<void(QIODevice&)>& llenar);

    // Whether existing files may be replaced, for the whole program; they may unless a
    // command-line tool said otherwise (without --force).
    static void PermitirSustituir(bool permitido);
    // Raises the refusal the write would end in (a symbolic link, a folder, an existing file
    // that may not be replaced), so that a tool says it before doing any work.
    static void ComprobarDestino(const QString& destino,
                                 Sustituir sustituir = Sustituir::SegunPrograma);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool Vaciar();

    QString m_destino;
    bool m_sustituir;
    QString m_temporal;
    int m_fd = -1;
    int m_error = 0; // the first errno a write met; later writes are refused
    QByteArray m_pendiente;
};
