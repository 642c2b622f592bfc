#pragma once

#include <QEvent>

class QObject;

// A component defers heavy work (a full reload, a re-parent after a drop) by posting itself a
// numbered private message; it arrives once the handler that asked for it has returned.
class TPrivateMessage : public QEvent
{
public:
    static QEvent::Type Type();

    explicit TPrivateMessage(int msg, qintptr wParam = 0, qintptr lParam = 0)
        : QEvent(Type()), Msg(msg), WParam(wParam), LParam(lParam)
    {}

    int Msg;
    qintptr WParam;
    qintptr LParam;
};

void PostPrivateMessage(QObject *target, int msg, qintptr wParam = 0, qintptr lParam = 0);
