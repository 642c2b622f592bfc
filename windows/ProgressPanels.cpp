#include "ProgressPanels.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TProgressPanel::TProgressPanel(TCommonAVI animation, bool inLine, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ProgressPanel"));
    Animation = new TAnimate(this);
    Animation->setObjectName(QStringLiteral("ProgressAnimation"));
    Animation->SetCommonAVI(animation);
    Bar = new QProgressBar(this);
    Bar->setObjectName(QStringLiteral("ProgressBar"));
    Bar->setRange(0, 100);
    TimeLeft = new QLabel(this);
    TimeLeft->setObjectName(QStringLiteral("TimeLeft"));
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(Bar, 1);
    row->addWidget(TimeLeft);
    if (inLine) {
        // Beside the status line's own panels there is room for little: the time left goes into
        // the bar's text.
        Animation->setFixedSize(Animation->sizeHint().scaled(40, 18, Qt::KeepAspectRatio));
        Bar->setFixedWidth(130);
        TimeLeft->hide();
        row->insertWidget(0, Animation);
        setLayout(row);
    } else {
        Bar->setMinimumWidth(160);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(Animation, 0, Qt::AlignHCenter);
        layout->addLayout(row);
    }
    hide();
}

QString TProgressPanel::TimeLeftText(int secondsLeft)
{
    if (secondsLeft > 120)
        return tr("Time remaining: %1 min").arg(secondsLeft / 60);
    if (secondsLeft > 0)
        return tr("Time remaining: %1 sec").arg(secondsLeft);
    return QString();
}

void TProgressPanel::Progress(int percent, int secondsLeft)
{
    if (isHidden()) {
        show();
        Animation->SetActive(true);
    }
    Bar->setValue(percent);
    TimeLeft->setText(TimeLeftText(secondsLeft));
    if (TimeLeft->isHidden())
        Bar->setFormat(secondsLeft > 120 ? tr("%p% (%1 min)").arg(secondsLeft / 60)
                       : secondsLeft > 0 ? tr("%p% (%1 sec)").arg(secondsLeft)
                                         : QStringLiteral("%p%"));
    QCoreApplication::processEvents();
}

void TProgressPanel::Finish()
{
    Animation->SetActive(false);
    Bar->setValue(0);
    Bar->setFormat(QStringLiteral("%p%"));
    TimeLeft->clear();
    hide();
}
