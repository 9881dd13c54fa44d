// The competing process the lock tests start, taking the lock on the database it is pointed at.

#include "LockChild.h"

#include "platform/data/DataAccess.h"
#include "platform/util/TvError.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

namespace {

void TakeLock(DataAccess& db) {
    while (!db.LockRecord("Contadores", 1, true, false))
        QThread::msleep(1);
}

} // namespace

DbConfig TargetConfig(const QString& target) {
    if (target.startsWith(QLatin1String("host=")))
        return DbConfig::FromConnectionSpec(target);
    DbConfig config;
    config.sqliteFile = target;
    return config;
}

int RunLockChild(const QStringList& arguments) {
    DataAccess& db = DataAccess::instance();
    try {
        db.Open(TargetConfig(arguments.value(2)));
        if (arguments.value(1) == QLatin1String("--lock-hold")) {
            TakeLock(db);
            std::printf("locked\n");
            std::fflush(stdout);
            for (;;)
                QThread::sleep(1);
        }
        const int rounds = arguments.value(3).toInt();
        for (int i = 0; i < rounds; ++i) {
            TakeLock(db);
            const int n = db.GetValue("Contadores", "nIdContador=1", "nContador").toInt();
            QThread::msleep(2);
            db.UpdateRecord("Contadores", "nContador", QString::number(n + 1), "nIdContador=1");
            db.LockRecord("Contadores", 1, false, true);
        }
        db.Close();
        return 0;
    } catch (const TvError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.FullText()));
        return 2;
    }
}
