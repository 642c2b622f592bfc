#pragma once

#include <QApplication>
#include <QString>
#include <functional>

// An exception must never cross Qt's event loop: event handlers catch what they raise and hand it
// here, where the application's one handler shows its message and leaves the window as it was.

// Call inside a catch block: shows the exception being handled. Never rethrows.
void HandleException();

// Where the exception is shown instead of a message box (tests record it); empty puts the box back.
using TExceptionDisplay = std::function<void(const QString &message)>;
void SetExceptionDisplay(TExceptionDisplay display);

// Runs fn; an exception it raises is shown and swallowed. False when one was raised.
template <class F> bool Guarded(F &&fn)
{
    try {
        fn();
        return true;
    } catch (...) {
        HandleException();
        return false;
    }
}

// The program's application object: an exception that some handler let through ends in the one
// handler above, and the program goes on, instead of unwinding out of the event loop and ending.
class TApplication : public QApplication
{
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};
