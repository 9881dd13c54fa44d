#pragma once

#include <QString>

// The suite's e-mail component as this module sees it: it keeps the suite's file-transfer account
// and the branch's outgoing mail account for the modules that send documents (e-mail, fax).
// One instance per process.
class EmailComponent {
public:
    struct Account {
        QString server;
        QString user;
        QString password;
    };

    static EmailComponent& instance();

    void Init(const QString& iniPath) { m_iniPath = iniPath; }
    QString IniPath() const { return m_iniPath; }

    void SetFileTransferAccount(const QString& user, const QString& password, const QString& host);
    const Account& FileTransferAccount() const { return m_fileTransfer; }

    void SetMailAccount(const QString& server, const QString& user, const QString& password);
    const Account& MailAccount() const { return m_mail; }

private:
    EmailComponent() = default;
    QString m_iniPath;
    Account m_fileTransfer;
    Account m_mail;
};
