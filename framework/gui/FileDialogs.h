#pragma once

#include <QList>
#include <QString>
#include <optional>

class QWidget;

// The program's open-file dialog, answerable by tests in advance like TMessageBox, so that no
// test ever waits on a modal window.
class TOpenFileDialog
{
public:
    struct TShown
    {
        QString Title;
        QString Filter;
    };

    // The file chosen (it exists), or nothing when the user cancelled. Filter lists Qt name
    // filters separated by ";;"; defaultSuffix is added to a typed name that has none.
    static std::optional<QString> Execute(QWidget *parent, const QString &title, const QString &filter,
                                          const QString &defaultSuffix = QString());
    // The same for a file to be written: it need not exist, and one that does is replaced only
    // when the user confirms it. Answered in advance and recorded like Execute.
    static std::optional<QString> ExecuteSave(QWidget *parent, const QString &title, const QString &filter,
                                              const QString &defaultSuffix = QString(),
                                              const QString &fileName = QString());

    // For tests: the next dialogs are answered with these, in order (nothing: cancelled).
    static void SetNextAnswer(std::optional<QString> answer);
    // For tests: while on, a dialog not answered in advance is recorded and cancelled.
    static void SetAnswerAutomatically(bool value);
    // What was asked since the last ClearShown.
    static const QList<TShown> &Shown();
    // Forgets what was asked and the answers not used yet.
    static void ClearShown();
};
