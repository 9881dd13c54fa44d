// A folder being built removed when a signal ends the process half-way.

#include "setup/RemoveOnSignal.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> Signals = {SIGTERM, SIGINT, SIGHUP};

const char* g_path = nullptr;
std::array<struct sigaction, Signals.size()> g_previous;

// linux_dirent64: inode (8 bytes), offset (8), record length (2), type (1), then the name.
constexpr size_t RecordLengthAt = 16;
constexpr size_t NameAt = 19;

// Only system calls, no allocation: this runs inside the signal handler. Entries are read again
// until a pass removes nothing, since removing while reading may skip some. True when name is gone.
bool RemoveTree(int parent, const char* name, int depth) {
    if (unlinkat(parent, name, 0) == 0)
        return true;
    if ((errno != EISDIR && errno != EPERM) || depth > 64)
        return false;
    const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        return false;
    char buffer[4096];
    for (bool removed = true; removed;) {
        removed = false;
        lseek(folder, 0, SEEK_SET);
        long count;
        while ((count = syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0) {
            for (long at = 0; at < count;) {
                std::uint16_t length = 0;
                std::memcpy(&length, buffer + at + RecordLengthAt, sizeof length);
                const char* entry = buffer + at + NameAt;
                at += length;
                if (std::strcmp(entry, ".") != 0 && std::strcmp(entry, "..") != 0 &&
                    RemoveTree(folder, entry, depth + 1))
                    removed = true;
            }
        }
    }
    close(folder);
    return unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

void OnSignal(int signal) {
    if (g_path)
        RemoveTree(AT_FDCWD, g_path, 0);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

RemoveOnSignal::RemoveOnSignal(const QString& path) : m_path(QFile::encodeName(path)) {
    g_path = m_path.constData();
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : Signals)
        sigaddset(&action.sa_mask, signal);
    for (size_t i = 0; i < Signals.size(); ++i)
        sigaction(Signals[i], &action, &g_previous[i]);
}

RemoveOnSignal::~RemoveOnSignal() {
    for (size_t i = 0; i < Signals.size(); ++i)
        sigaction(Signals[i], &g_previous[i], nullptr);
    g_path = nullptr;
}
