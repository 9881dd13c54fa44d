#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

class ScriptedUi;

// A suite folder in a temporary directory, made by the setup tool (optionally with the demo
// data), with DataAccess opened on its database and ScriptedUi installed as the ui seam.
// Everything is undone when it goes out of scope.
class TestSuite {
public:
    explicit TestSuite(bool demo = true);
    ~TestSuite();

    QString Root() const;    // <tmp>/Tavelo
    QString DataDir() const; // <tmp>/Tavelo/Data
    QString IniPath() const; // <tmp>/Tavelo/Data/Tavelo.ini
    QString DbPath() const;  // <tmp>/Tavelo/Data/Tavelo.db
    ScriptedUi& Ui() const { return *m_ui; }

private:
    QTemporaryDir m_dir;
    ScriptedUi* m_ui = nullptr;
};
