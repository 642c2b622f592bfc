#pragma once

#include <QList>
#include <QString>
#include <optional>

class QWidget;

// The folder picker of the program, answerable by tests in advance like TMessageBox, so that no
// test ever waits on a modal window.
class TFolderBrowser
{
public:
    struct TShown
    {
        QString Title;
        QString Initial;
    };

    // The folder chosen, or nothing when the user cancelled.
    static std::optional<QString> Browse(QWidget *parent, const QString &title, const QString &initial);

    // For tests: the next pickers are answered with these, in order (nothing: cancelled).
    static void SetNextAnswer(std::optional<QString> answer);
    // For tests: while on, a picker not answered in advance is recorded and cancelled.
    static void SetAnswerAutomatically(bool value);
    // What was asked since the last ClearShown.
    static const QList<TShown> &Shown();
    static void ClearShown();
};
