#include "Links.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

TLinkRecorder *&CurrentRecorder()
{
    static TLinkRecorder *recorder = nullptr;
    return recorder;
}

} // namespace

QUrl LinkUrl(const QString &target)
{
    const QString text = target.trimmed();
    if (text.isEmpty())
        return QUrl();
    // Two letters at least, so that a drive letter ("C:") is not taken for a scheme.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    static const QRegularExpression mail(QStringLiteral("^[^@\\s/:]+@[^@\\s/]+\\.[^@\\s/]+$"));
    if (scheme.match(text).hasMatch())
        return QUrl(text, QUrl::TolerantMode);
    if (text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive))
        return QUrl(QStringLiteral("http://") + text, QUrl::TolerantMode);
    if (mail.match(text).hasMatch())
        return QUrl(QStringLiteral("mailto:") + text, QUrl::TolerantMode);
    QString path = text;
    if (path == u'~' || path.startsWith(QStringLiteral("~/")))
        path = QDir::homePath() + path.mid(1);
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

bool OpenLink(const QString &target)
{
    const QUrl url = LinkUrl(target);
    if (!url.isValid())
        return false;
    if (TLinkRecorder *recorder = CurrentRecorder()) {
        recorder->FOpened.append(url);
        return true;
    }
    return QDesktopServices::openUrl(url);
}

TLinkRecorder::TLinkRecorder() : FPrevious(CurrentRecorder())
{
    CurrentRecorder() = this;
}

TLinkRecorder::~TLinkRecorder()
{
    CurrentRecorder() = FPrevious;
}
