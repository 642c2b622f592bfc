#include "FileDialogs.h"

#include <QFileDialog>
#include <QQueue>

namespace {

QQueue<std::optional<QString>> &Answers()
{
    static QQueue<std::optional<QString>> queue;
    return queue;
}

QList<TOpenFileDialog::TShown> &ShownList()
{
    static QList<TOpenFileDialog::TShown> list;
    return list;
}

bool &Automatic()
{
    static bool value = false;
    return value;
}

} // namespace

namespace {

// The answer a test queued, or the user's choice in a file dialog set up as `save` says.
std::optional<QString> run(QWidget *parent, const QString &title, const QString &filter,
                           const QString &defaultSuffix, bool save, const QString &fileName)
{
    ShownList().append({title, filter});
    if (!Answers().isEmpty())
        return Answers().dequeue();
    if (Automatic())
        return std::nullopt;

    QFileDialog dialog(parent, title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts));
    dialog.setDefaultSuffix(defaultSuffix);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

std::optional<QString> TOpenFileDialog::Execute(QWidget *parent, const QString &title, const QString &filter,
                                                const QString &defaultSuffix)
{
    return run(parent, title, filter, defaultSuffix, false, QString());
}

std::optional<QString> TOpenFileDialog::ExecuteSave(QWidget *parent, const QString &title,
                                                    const QString &filter, const QString &defaultSuffix,
                                                    const QString &fileName)
{
    return run(parent, title, filter, defaultSuffix, true, fileName);
}

void TOpenFileDialog::SetNextAnswer(std::optional<QString> answer)
{
    Answers().enqueue(std::move(answer));
}

void TOpenFileDialog::SetAnswerAutomatically(bool value)
{
    Automatic() = value;
}

const QList<TOpenFileDialog::TShown> &TOpenFileDialog::Shown()
{
    return ShownList();
}

void TOpenFileDialog::ClearShown()
{
    ShownList().clear();
    Answers().clear();
}
