#pragma once

#include "BusyAnimations.h"

#include <QWidget>

class QLabel;
class QProgressBar;

// The busy animation, a progress bar and the time left, for a window's long operation: shown when
// the operation first reports progress (after half a second), hidden when it ends.
class TProgressPanel : public QWidget
{
    Q_OBJECT

public:
    // A window lays the animation out above the bar; a status bar (inLine) beside it, small.
    TProgressPanel(TCommonAVI animation, bool inLine, QWidget *parent = nullptr);

    // One report of TGlobal::OnProgress: shows the panel, the share done and the time left (-1:
    // no estimate), and lets the window paint and take a click on Stop.
    void Progress(int percent, int secondsLeft);
    // Hides the panel and stops the animation.
    void Finish();
    // How long is left, as every progress report says it: in minutes past two minutes, else in
    // seconds; empty without an estimate (0 or less).
    static QString TimeLeftText(int secondsLeft);

    TAnimate *Animation = nullptr;
    QProgressBar *Bar = nullptr;
    QLabel *TimeLeft = nullptr;
};
