// A file written whole or not at all: temporary beside the target, synced, then renamed.

#include "platform/util/ArchivoSeguro.h"

#include "platform/util/TvError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_sustituir{true};

QByteArray Nativo(const QString& path) {
    return QFile::encodeName(path);
}

QString Causa(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("no queda espacio en el disco");
    case EACCES:
    case EPERM:
        return QStringLiteral("se ha denegado el permiso de escritura en la carpeta");
    case EROFS:
        return QStringLiteral("el disco es de solo lectura");
    case ENOENT:
        return QStringLiteral("la carpeta no existe");
    case ENOTDIR:
        return QStringLiteral("una parte de la ruta no es una carpeta");
    case EISDIR:
        return QStringLiteral("es una carpeta");
    case ENAMETOOLONG:
        return QStringLiteral("el nombre es demasiado largo");
    case EFBIG:
        return QStringLiteral("el archivo supera el tamaño máximo permitido");
    case EIO:
        return QStringLiteral("el disco ha dado un error de lectura o escritura");
    default:
        return QStringLiteral("error del sistema número %1").arg(error);
    }
}

[[noreturn]] void Rechazar(const QString& why) {
    throw TvError(ErrorNumber::PathFileAccess, why);
}

QString Existente(const QString& destino) {
    return "El archivo " + destino +
           " ya existe: no se ha sustituido (añada --force para sustituirlo).";
}

// A file the rename may only place, never replace: one that appeared after the first check is
// refused too. Where the disk cannot rename that way, a hard link does the same.
int ColocarSinSustituir(const QByteArray& temporal, const QByteArray& destino) {
    if (::renameat2(AT_FDCWD, temporal.constData(), AT_FDCWD, destino.constData(),
                    RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(temporal.constData(), destino.constData()) != 0)
        return errno;
    ::unlink(temporal.constData());
    return 0;
}

// The folder's entry for the new name reaches the disk too; a folder that cannot be synced
// (some network disks) has its file in place all the same, so that is no failure.
void SincronizarCarpeta(const QString& carpeta) {
    const int fd = ::open(Nativo(carpeta).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

void ArchivoSeguro::PermitirSustituir(bool permitido) {
    g_sustituir = permitido;
}

void ArchivoSeguro::ComprobarDestino(const QString& destino, Sustituir sustituir) {
    struct stat st {};
    if (::lstat(Nativo(destino).constData(), &st) != 0)
        return;
    if (S_ISLNK(st.st_mode))
        Rechazar("El archivo " + destino +
                 " es un enlace simbólico: no se escribe a través de él y no se ha escrito nada.");
    if (S_ISDIR(st.st_mode))
        Rechazar(destino + " es una carpeta: no se ha escrito nada.");
    if (sustituir == Sustituir::SegunPrograma && !g_sustituir)
        Rechazar(Existente(destino));
}

ArchivoSeguro::ArchivoSeguro(const QString& destino, Sustituir sustituir)
    : m_destino(destino), m_sustituir(sustituir == Sustituir::Siempre || g_sustituir) {
    ComprobarDestino(destino, sustituir);
    const QFileInfo info(destino);
    // Created with the mode a new file gets (0666 less the umask); a replaced file keeps its own.
    struct stat anterior {};
    const bool existia = ::stat(Nativo(destino).constData(), &anterior) == 0;
    for (int intento = 0; m_fd < 0; ++intento) {
        m_temporal = info.absolutePath() + "/." + info.fileName() + "." +
                     QString::number(QRandomGenerator::global()->generate(), 36);
        m_fd =
            ::open(Nativo(m_temporal).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && (errno != EEXIST || intento > 100)) {
            const int error = errno;
            m_temporal.clear();
            Fallar(error);
        }
    }
    if (existia)
        ::fchmod(m_fd, anterior.st_mode & 07777);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ArchivoSeguro::~ArchivoSeguro() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporal.isEmpty())
        ::unlink(Nativo(m_temporal).constData());
}

qint64 ArchivoSeguro::writeData(const char* data, qint64 size) {
    if (m_error != 0)
        return -1;
    m_pendiente.append(data, size);
    if (m_pendiente.size() >= (1 << 16) && !Vaciar())
        return -1;
    return size;
}

bool ArchivoSeguro::Vaciar() {
    const char* at = m_pendiente.constData();
    qint64 left = m_pendiente.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_error = errno;
            return false;
        }
        at += n;
        left -= n;
    }
    m_pendiente.clear();
    return true;
}

void ArchivoSeguro::Terminar() {
    if (m_error != 0 || !Vaciar())
        Fallar(m_error);
    if (::fsync(m_fd) != 0)
        Fallar(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        Fallar(errno);
    QIODevice::close();
    const QByteArray temporal = Nativo(m_temporal), destino = Nativo(m_destino);
    // A link or a folder put there meanwhile is refused as it would have been at the start.
    ComprobarDestino(m_destino, Sustituir::Siempre);
    int error = 0;
    if (m_sustituir)
        error = ::rename(temporal.constData(), destino.constData()) == 0 ? 0 : errno;
    else
        error = ColocarSinSustituir(temporal, destino);
    if (error == EEXIST)
        Rechazar(Existente(m_destino));
    if (error != 0)
        Fallar(error);
    m_temporal.clear();
    SincronizarCarpeta(QFileInfo(m_destino).absolutePath());
}

void ArchivoSeguro::Fallar(int error) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporal.isEmpty())
        ::unlink(Nativo(m_temporal).constData());
    m_temporal.clear();
    const bool habia = QFileInfo::exists(m_destino);
    throw TvError(
        ErrorNumber::PathFileAccess,
        "No se ha podido escribir el archivo " + m_destino + ": " + Causa(error) +
            (habia ? ". El archivo que había sigue como estaba." : ". No se ha escrito nada."));
}

void ArchivoSeguro::Escribir(const QString& destino, const QByteArray& bytes, Sustituir sustituir) {
    ArchivoSeguro archivo(destino, sustituir);
    archivo.write(bytes);
    archivo.Terminar();
}

void ArchivoSeguro::Escribir(const QString& destino,
                             const std::function<void(QIODevice&)>& llenar) {
    ArchivoSeguro archivo(destino);
    llenar(archivo);
    archivo.Terminar();
}
