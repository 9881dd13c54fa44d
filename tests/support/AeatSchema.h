#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The files validate against the agency's schema (SuministroLR.xsd unless another is named),
// offline through the schemas' catalog, as their README says.
inline void ExpectValidAeat(const QStringList& files,
                            const QString& schema = QStringLiteral("SuministroLR.xsd")) {
    const QString schemas = qEnvironmentVariable("TV_SOURCE_DIR") + "/tests/register/aeat";
    QProcess xmllint;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XML_CATALOG_FILES", schemas + "/catalog.xml");
    xmllint.setProcessEnvironment(env);
    xmllint.setProcessChannelMode(QProcess::MergedChannels);
    xmllint.start("xmllint",
                  QStringList{"--nonet", "--noout", "--schema", schemas + "/" + schema} + files);
    ASSERT_TRUE(xmllint.waitForFinished(120000));
    EXPECT_EQ(xmllint.exitCode(), 0) << xmllint.readAll().toStdString();
}
