#include "MessageBoxes.h"

#include <QQueue>

namespace {

QQueue<QMessageBox::StandardButton> &answers()
{
    static QQueue<QMessageBox::StandardButton> queue;
    return queue;
}

QList<TMessageBox::TShown> &shown()
{
    static QList<TMessageBox::TShown> list;
    return list;
}

TMessageBox::THandler &handler()
{
    static TMessageBox::THandler value;
    return value;
}

bool &automatic()
{
    static bool value = false;
    return value;
}

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons)
{
    for (int bit = 0; bit < 32; ++bit) {
        const auto button = QMessageBox::StandardButton(1u << bit);
        if (buttons.testFlag(button))
            return button;
    }
    return QMessageBox::NoButton;
}

} // namespace

QMessageBox::StandardButton TMessageBox::Show(QWidget *parent, const QString &text, const QString &caption,
                                              QMessageBox::StandardButtons buttons, QMessageBox::Icon icon,
                                              QMessageBox::StandardButton defaultButton)
{
    shown().append({caption, text, icon, buttons});
    if (!answers().isEmpty())
        return answers().dequeue();
    if (automatic())
        return defaultButton != QMessageBox::NoButton ? defaultButton : firstButton(buttons);
    if (handler())
        return handler()(shown().last());

    QMessageBox box(icon, caption, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                    buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

void TMessageBox::SetHandler(THandler value)
{
    handler() = std::move(value);
}

void TMessageBox::SetNextAnswer(QMessageBox::StandardButton answer)
{
    answers().enqueue(answer);
}

void TMessageBox::SetAnswerAutomatically(bool value)
{
    automatic() = value;
}

const QList<TMessageBox::TShown> &TMessageBox::Shown()
{
    return shown();
}

void TMessageBox::ClearShown()
{
    shown().clear();
    answers().clear();
}
