// Type-ahead for a combo of many thousands of names: any part of a name narrows a popup.

#include "platform/ui/widgets/TypeAhead.h"

#include "platform/data/ComboListModel.h"

#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QListView>
#include <QStringListModel>
#include <utility>

TypeAhead* TypeAhead::Attach(QComboBox* combo) {
    return new TypeAhead(combo);
}

QString TypeAhead::OnlyMatch() const {
    const bool current = !m_matchedFor.isEmpty() && m_matchedFor == m_combo->currentText();
    return current && m_matches->rowCount() == 1 ? m_matches->stringList().constFirst() : QString();
}

void TypeAhead::SearchIn(NameSource source) {
    m_search = std::move(source);
    m_matchedFor.clear();
}

TypeAhead::TypeAhead(QComboBox* combo)
    : QObject(combo), m_combo(combo), m_popup(new QCompleter(this)),
      m_matches(new QStringListModel(this)) {
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    // The combo never measures its entries: with a hundred thousand that alone takes a while.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(20);
    combo->setMaxVisibleItems(20);
    if (auto* list = qobject_cast<QListView*>(combo->view()))
        list->setUniformItemSizes(true);
    // The combo's own inline completion would search the whole list on every key too.
    combo->setCompleter(nullptr);

    // The popup shows the matches as they are; the narrowing is done here.
    m_popup->setModel(m_matches);
    m_popup->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_popup->setMaxVisibleItems(15);
    m_popup->setWidget(combo->lineEdit());
    connect(combo->lineEdit(), &QLineEdit::textEdited, this, &TypeAhead::Narrow);
    connect(m_popup, qOverload<const QString&>(&QCompleter::activated), this, &TypeAhead::Pick);
}

void TypeAhead::Narrow(const QString& text) {
    const auto* list = qobject_cast<const ComboListModel*>(m_combo->model());
    if (list != m_list) {
        m_list = list;
        m_matchedFor.clear();
        if (list)
            connect(list, &QAbstractItemModel::modelReset, this, [this] { m_matchedFor.clear(); });
    }
    if (text.isEmpty() || !list) {
        m_matchedFor.clear();
        m_matches->setStringList({});
        HideMatches();
        return;
    }
    QStringList matches;
    if (!m_search.table.isEmpty()) {
        matches = ComboListModel::Search(m_search, text, {}, MatchesShown);
    } else if (list->Complete()) {
        // A name that holds the longer text also holds the shorter one.
        const bool narrower =
            !m_matchedFor.isEmpty() && text.contains(m_matchedFor, Qt::CaseInsensitive);
        const QStringList names = narrower ? m_matches->stringList() : list->Texts();
        for (const QString& name : names)
            if (name.contains(text, Qt::CaseInsensitive))
                matches << name;
    } else {
        matches = list->Matching(text, {}, MatchesShown);
    }
    m_matches->setStringList(matches);
    m_matchedFor = text;
    if (matches.isEmpty()) {
        HideMatches();
    } else {
        MatchList();
        m_popup->complete();
    }
}

QCompleter* TypeAhead::Popup() {
    MatchList();
    return m_popup;
}

QAbstractItemView* TypeAhead::MatchList() {
    QAbstractItemView* const view = m_popup->popup();
    if (!std::exchange(m_listMade, true))
        if (auto* list = qobject_cast<QListView*>(view))
            list->setUniformItemSizes(true);
    return view;
}

void TypeAhead::HideMatches() {
    if (m_listMade)
        m_popup->popup()->hide();
}

void TypeAhead::Pick(const QString& name) {
    int index = m_combo->findText(name, Qt::MatchExactly);
    auto* list = qobject_cast<ComboListModel*>(m_combo->model());
    if (index < 0 && list && !m_search.table.isEmpty()) {
        list->Browse(m_search, name);
        index = m_combo->findText(name, Qt::MatchExactly);
    }
    m_combo->setCurrentIndex(index);
    if (index < 0)
        return;
    Q_EMIT m_combo->activated(index);
    Q_EMIT m_combo->textActivated(name);
}
