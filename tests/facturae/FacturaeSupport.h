#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <utility>

// Runs a program; answers its status and what it said.
inline std::pair<int, QString>
Launch(const QString& program, const QStringList& arguments,
       const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    EXPECT_TRUE(p.waitForFinished(60000)) << program.toStdString();
    return {p.exitCode(), QString::fromUtf8(p.readAll()).trimmed()};
}

// A self-signed certificate valid for 30 days, made by openssl in `folder`: clinica.pem (the
// certificate) and clinica.p12 (with its key, password "secreta"). False when openssl failed.
inline bool MakeCertificate(const QString& folder) {
    const QString key = folder + "/clinica.key";
    return Launch("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                              "-out", folder + "/clinica.pem", "-days", "30", "-subj",
                              "/CN=Clinica Veterinaria Tavelo/O=Tavelo S.L./C=ES"})
                   .first == 0 &&
           Launch("openssl", {"pkcs12", "-export", "-inkey", key, "-in", folder + "/clinica.pem",
                              "-out", folder + "/clinica.p12", "-passout", "pass:secreta"})
                   .first == 0;
}
