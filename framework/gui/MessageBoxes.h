#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// Every question and notice of the program goes through here, so that a test can answer it in
// advance and read what was asked, and no test ever waits on a modal window.
class TMessageBox
{
public:
    struct TShown
    {
        QString Caption;
        QString Text;
        QMessageBox::Icon Icon;
        QMessageBox::StandardButtons Buttons;
    };

    // Shows a modal message box and returns the button chosen. Texts may break lines with "\r\n".
    static QMessageBox::StandardButton
    Show(QWidget *parent, const QString &text, const QString &caption, QMessageBox::StandardButtons buttons,
         QMessageBox::Icon icon, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // Where there is no screen (the command-line tool), a handler answers every box instead of a
    // window; an empty handler puts the window back.
    using THandler = std::function<QMessageBox::StandardButton(const TShown &shown)>;
    static void SetHandler(THandler handler);

    // For tests: the next boxes are answered with these buttons, in order, without being shown.
    static void SetNextAnswer(QMessageBox::StandardButton answer);
    // For tests: while on, every box not answered in advance is recorded and answered with its
    // default button (the first of its buttons when it names none), without being shown.
    static void SetAnswerAutomatically(bool value);
    // What was asked since the last ClearShown, answered or shown.
    static const QList<TShown> &Shown();
    static void ClearShown();
};
