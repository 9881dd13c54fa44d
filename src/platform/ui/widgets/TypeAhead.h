#pragma once

#include "platform/data/ComboListModel.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QAbstractItemView;
class QComboBox;
class QCompleter;
class QStringListModel;

// Type-ahead for a combo of many thousands of names filled through DataAccess: any part of a
// name, in any case, narrows a popup under the combo, and picking a name in it selects that entry
// as a click in the list does (activated and textActivated). Qt's own completer asks the model
// for every entry's text on every key, 110 ms a key over 100,000 clients; this one searches the
// list's texts directly, and a key that only adds to the typed text searches just the names the
// text matched before. A browsed list (ComboListModel::Browse) is searched by the database's
// trigram index instead, and the popup offers the first MatchesShown names that match.
class TypeAhead : public QObject {
public:
    static constexpr int MatchesShown = 200;

    // Makes combo editable, never inserting what is typed, and puts the type-ahead on it; the
    // combo owns it.
    static TypeAhead* Attach(QComboBox* combo);

    // The popup that offers the matches, its list made; its activated signal names the name
    // picked.
    QCompleter* Popup();
    // The name offered when the typed text matches just one; empty otherwise.
    QString OnlyMatch() const;
    // What is typed is looked for in source, whatever the combo's list holds at the moment (a
    // list narrowed to a few names is still searched whole); a name picked that the list lacks
    // makes the list browse source from that name.
    void SearchIn(NameSource source);

private:
    explicit TypeAhead(QComboBox* combo);
    void Narrow(const QString& text);
    void Pick(const QString& name);
    // The popup's list, made the first time it is asked for: most windows open and close
    // without anyone typing in their combos, and each list costs as much as a tenth of a window.
    QAbstractItemView* MatchList();
    void HideMatches();

    QComboBox* m_combo;
    QCompleter* m_popup;
    QStringListModel* m_matches;
    NameSource m_search;                   // searched instead of the list; none: the list
    QPointer<const ComboListModel> m_list; // the list the matches were taken from
    QString m_matchedFor;                  // the text the matches are for
    bool m_listMade = false;
};
