#pragma once

#include <QTimer>
#include <QWidget>

// The little films a program shows while it works on something long.
enum class TCommonAVI {
    aviNone,
    aviFindFolder, // a magnifying glass circling over a folder
    aviFindFile,   // a magnifying glass circling over a page
    aviCopyFiles,  // pages flying from one folder to another
    aviCopyFile,   // one page flying from one folder to another
};

// A busy animation drawn by our own painting, frame by frame on a timer. Frames are numbered from 1
// to FrameCount(); an active animation plays StartFrame to StopFrame and starts over, Repetitions
// times (0: until it is stopped). Whoever shows it hides it when it is not needed.
class TAnimate : public QWidget
{
    Q_OBJECT

public:
    explicit TAnimate(QWidget *parent = nullptr);

    TCommonAVI CommonAVI() const { return FCommonAVI; }
    void SetCommonAVI(TCommonAVI value);
    int FrameCount() const;
    // Milliseconds a frame is shown.
    int FrameInterval() const { return FTimer.interval(); }

    bool Active() const { return FTimer.isActive(); }
    void SetActive(bool value);
    int StartFrame() const { return FStartFrame; }
    void SetStartFrame(int value);
    // 0: the last frame.
    int StopFrame() const { return FStopFrame; }
    void SetStopFrame(int value);
    int Repetitions() const { return FRepetitions; }
    void SetRepetitions(int value) { FRepetitions = value; }
    // The frame on show.
    int Frame() const { return FFrame; }

    // Plays frames from..to, count times (0: until stopped).
    void Play(int fromFrame, int toFrame, int count);
    void Stop();
    // Stops and shows the frame.
    void Seek(int frame);
    // Stops and shows the start frame.
    void Reset();

    QSize sizeHint() const override;

signals:
    void Started();
    void Stopped();
    void FrameChanged(int frame);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void NextFrame();
    int LastFrame() const;
    void ShowFrame(int frame);

    QTimer FTimer;
    TCommonAVI FCommonAVI = TCommonAVI::aviNone;
    int FStartFrame = 1;
    int FStopFrame = 0;
    int FRepetitions = 0;
    int FFrame = 1;
    int FPlayFrom = 1;
    int FPlayTo = 1;
    int FPlaysLeft = 0; // 0: without end
};
