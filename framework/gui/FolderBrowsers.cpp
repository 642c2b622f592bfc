#include "FolderBrowsers.h"

#include <QDir>
#include <QFileDialog>
#include <QQueue>

namespace {

QQueue<std::optional<QString>> &Answers()
{
    static QQueue<std::optional<QString>> queue;
    return queue;
}

QList<TFolderBrowser::TShown> &ShownList()
{
    static QList<TFolderBrowser::TShown> list;
    return list;
}

bool &Automatic()
{
    static bool value = false;
    return value;
}

} // namespace

std::optional<QString> TFolderBrowser::Browse(QWidget *parent, const QString &title, const QString &initial)
{
    ShownList().append({title, initial});
    if (!Answers().isEmpty())
        return Answers().dequeue();
    if (Automatic())
        return std::nullopt;
    const QString folder =
        QFileDialog::getExistingDirectory(parent, title, initial, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(folder);
}

void TFolderBrowser::SetNextAnswer(std::optional<QString> answer)
{
    Answers().enqueue(std::move(answer));
}

void TFolderBrowser::SetAnswerAutomatically(bool value)
{
    Automatic() = value;
}

const QList<TFolderBrowser::TShown> &TFolderBrowser::Shown()
{
    return ShownList();
}

void TFolderBrowser::ClearShown()
{
    ShownList().clear();
    Answers().clear();
}
