// The suite's file-transfer and mail accounts, kept for the modules that send documents.

#include "session/EmailComponent.h"

EmailComponent& EmailComponent::instance() {
    static EmailComponent component;
    return component;
}

void EmailComponent::SetFileTransferAccount(const QString& user, const QString& password,
                                            const QString& host) {
    m_fileTransfer = {host, user, password};
}

void EmailComponent::SetMailAccount(const QString& server, const QString& user,
                                    const QString& password) {
    m_mail = {server, user, password};
}
