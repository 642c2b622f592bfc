#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// What a link label's text stands for: a web address with or without its scheme ("www.x.org"),
// a mail address ("name@host"), any URL with a scheme, or a file or folder path (made absolute).
// Invalid for a text of blanks.
QUrl LinkUrl(const QString &target);

// Opens the link with the program the desktop has for it; false when the text is no link or
// nothing could open it.
bool OpenLink(const QString &target);

// For tests: while one exists, OpenLink records the URLs instead of opening them.
class TLinkRecorder
{
public:
    TLinkRecorder();
    ~TLinkRecorder();
    TLinkRecorder(const TLinkRecorder &) = delete;
    TLinkRecorder &operator=(const TLinkRecorder &) = delete;

    const QList<QUrl> &Opened() const { return FOpened; }

private:
    friend bool OpenLink(const QString &target);
    QList<QUrl> FOpened;
    TLinkRecorder *FPrevious;
};
