#pragma once

#include <QChar>
#include <QColor>
#include <QIcon>

// The module's tool icons, drawn at run time in one consistent line style so that no icon files
// have to ship with the program and every window looks alike on any desktop theme.
class ToolIcons {
public:
    enum class Kind {
        Print,
        Previous,
        Next,
        First,
        Last,
        Export,
        Zoom,
        Mail,
        Fax,
        People,
        Chart,
        Barcode,
        History,
        Close,
    };

    static QIcon Get(Kind kind);
    // A rounded badge with the letter, for tools that have no drawing of their own.
    static QIcon Letter(QChar letter);

    // The colours of the module's light look, shared by the frame and the icons.
    static QColor Ink();
    static QColor Accent();
};
