#include "ErrorHandlers.h"

#include "MessageBoxes.h"
#include "SysUtils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>
#include <exception>

namespace {

TExceptionDisplay &ExceptionDisplay()
{
    static TExceptionDisplay display;
    return display;
}

QString CurrentMessage()
{
    try {
        throw;
    } catch (const EAbort &) {
        return {};
    } catch (const Exception &e) {
        return e.Message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QCoreApplication::translate("HandleException", "Unknown error");
    }
}

} // namespace

void HandleException()
{
    const QString message = CurrentMessage();
    // A silent abort is the program's way of stopping an action without a word.
    if (message.isEmpty())
        return;
    if (ExceptionDisplay()) {
        ExceptionDisplay()(message);
        return;
    }
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    const QString title = QApplication::applicationDisplayName().isEmpty()
                              ? QStringLiteral("Error")
                              : QApplication::applicationDisplayName();
    TMessageBox::Show(parent, message, title, QMessageBox::Ok, QMessageBox::Critical);
}

void SetExceptionDisplay(TExceptionDisplay display)
{
    ExceptionDisplay() = std::move(display);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
        return false;
    }
}
