#include "PrivateMessages.h"

#include <QCoreApplication>

QEvent::Type TPrivateMessage::Type()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostPrivateMessage(QObject *target, int msg, qintptr wParam, qintptr lParam)
{
    QCoreApplication::postEvent(target, new TPrivateMessage(msg, wParam, lParam));
}
