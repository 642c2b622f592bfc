#include "HelpWindows.h"

#include "Links.h"
#include "SysUtils.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// A folder stands for the index.html in it.
QString IndexFile(const QString &indexPage)
{
    if (!indexPage.isEmpty() && QFileInfo(indexPage).isDir())
        return indexPage + QStringLiteral("/index.html");
    return indexPage;
}

QUrl IndexUrl(const QString &indexPage)
{
    const QString file = IndexFile(indexPage);
    if (file.startsWith(QStringLiteral(":/")))
        return QUrl(QStringLiteral("qrc") + file);
    if (file.startsWith(QStringLiteral("qrc:")))
        return QUrl(file);
    return QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
}

// The file behind a page's URL, for Qt's file classes ("" when it is not ours).
QString LocalPath(const QUrl &url)
{
    if (url.scheme() == u"qrc")
        return u':' + url.path();
    if (url.isLocalFile())
        return url.toLocalFile();
    return QString();
}

bool IsPage(const QUrl &url)
{
    const QString path = url.path();
    return path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive) ||
           path.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive);
}

QUrl WithoutFragment(QUrl url)
{
    url.setFragment(QString());
    return url;
}

} // namespace

THelpWindow::THelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("Help"));
    resize(780, 540);
    auto *tools = new QToolBar(this);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FBack =
        tools->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("&Back"), this, &THelpWindow::Back);
    FForward = tools->addAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("&Forward"), this,
                                &THelpWindow::Forward);
    FHome = tools->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("&Home"), this,
                             &THelpWindow::Home);
    tools->widgetForAction(FBack)->setObjectName(QStringLiteral("BtnBack"));
    tools->widgetForAction(FForward)->setObjectName(QStringLiteral("BtnForward"));
    tools->widgetForAction(FHome)->setObjectName(QStringLiteral("BtnHome"));
    FBack->setEnabled(false);
    FForward->setEnabled(false);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    FContentsList = new QListWidget(splitter);
    FContentsList->setObjectName(QStringLiteral("Contents"));
    FBrowser = new QTextBrowser(splitter);
    FBrowser->setObjectName(QStringLiteral("Browser"));
    // Every link goes through LinkClicked, which keeps pages here and sends the rest outside.
    FBrowser->setOpenLinks(false);
    splitter->addWidget(FContentsList);
    splitter->addWidget(FBrowser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 580});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(splitter, 1);

    connect(FBrowser, &QTextBrowser::anchorClicked, this, &THelpWindow::LinkClicked);
    connect(FBrowser, &QTextBrowser::sourceChanged, this, &THelpWindow::PageChanged);
    connect(FBrowser, &QTextBrowser::backwardAvailable, FBack, &QAction::setEnabled);
    connect(FBrowser, &QTextBrowser::forwardAvailable, FForward, &QAction::setEnabled);
    connect(FContentsList, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        const int row = FContentsList->row(item);
        if (row >= 0 && row < FContents.size())
            ShowPage(FContents[row].Page);
    });
    connect(FContentsList, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        const int row = FContentsList->row(item);
        if (row >= 0 && row < FContents.size())
            ShowPage(FContents[row].Page);
    });
}

void THelpWindow::SetIndexPage(const QString &indexPage)
{
    FIndexPage = indexPage;
    FIndexUrl = IndexUrl(indexPage);
    FBrowser->clearHistory();
    if (!FOwnContents)
        FContents = IndexLinks();
    FillContents();
    Home();
}

void THelpWindow::SetContents(const QList<THelpTopic> &topics)
{
    FOwnContents = !topics.isEmpty();
    FContents = FOwnContents ? topics : IndexLinks();
    FillContents();
    PageChanged(FBrowser->source());
}

QList<THelpTopic> THelpWindow::IndexLinks() const
{
    QList<THelpTopic> topics;
    QFile file(LocalPath(FIndexUrl));
    if (!FIndexUrl.isValid() || !file.open(QIODevice::ReadOnly))
        return topics;
    const QString html = QString::fromUtf8(file.readAll());
    static const QRegularExpression titleTag(QStringLiteral("<title[^>]*>(.*?)</title>"),
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression anchor(
        QStringLiteral("<a\\s[^>]*href\\s*=\\s*[\"']([^\"']*)[\"'][^>]*>(.*?)</a>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto plain = [](const QString &markup) {
        return QTextDocumentFragment::fromHtml(markup).toPlainText().simplified();
    };
    const QString title = plain(titleTag.match(html).captured(1));
    topics.append({title.isEmpty() ? tr("Contents") : title, QFileInfo(FIndexUrl.path()).fileName()});
    QStringList seen{topics.first().Page};
    for (auto it = anchor.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString href = match.captured(1).trimmed();
        const QUrl url(href);
        // Only other pages of the help are topics: not places in the index, not outside links.
        if (href.isEmpty() || href.startsWith(u'#') || !url.scheme().isEmpty() || seen.contains(href))
            continue;
        seen << href;
        const QString text = plain(match.captured(2));
        topics.append({text.isEmpty() ? href : text, href});
    }
    return topics;
}

void THelpWindow::FillContents()
{
    const QSignalBlocker blocker(FContentsList);
    FContentsList->clear();
    for (const THelpTopic &topic : std::as_const(FContents))
        FContentsList->addItem(topic.Title);
}

QUrl THelpWindow::PageUrl(const QString &page) const
{
    return FIndexUrl.resolved(QUrl(page));
}

void THelpWindow::ShowPage(const QString &page)
{
    OpenUrl(PageUrl(page));
}

void THelpWindow::OpenUrl(const QUrl &url)
{
    const QString path = LocalPath(url);
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        FBrowser->setHtml(tr("<h3>Page not found</h3><p>%1</p>").arg(url.toDisplayString().toHtmlEscaped()));
        return;
    }
    FBrowser->setSource(url);
}

void THelpWindow::LinkClicked(const QUrl &link)
{
    const QUrl url = FBrowser->source().resolved(link);
    const bool ours = url.scheme() == u"qrc" || url.isLocalFile();
    if (ours && (IsPage(url) || WithoutFragment(url) == WithoutFragment(FBrowser->source()))) {
        OpenUrl(url);
        return;
    }
    OpenLink(url.isLocalFile() ? url.toLocalFile() : url.toString());
}

// Qt tells of the new page before source() has it: the page is the one the signal names.
void THelpWindow::PageChanged(const QUrl &current)
{
    const QString title = FBrowser->documentTitle();
    setWindowTitle(title.isEmpty() ? tr("Help") : tr("%1 - Help").arg(title));
    // The contents follow the page: the topic of this very place, else of this page.
    int found = -1;
    for (int i = 0; i < FContents.size() && found < 0; ++i)
        if (PageUrl(FContents[i].Page) == current)
            found = i;
    for (int i = 0; i < FContents.size() && found < 0; ++i)
        if (WithoutFragment(PageUrl(FContents[i].Page)) == WithoutFragment(current))
            found = i;
    const QSignalBlocker blocker(FContentsList);
    FContentsList->setCurrentRow(found);
}

QUrl THelpWindow::CurrentPage() const
{
    return FBrowser->source();
}

QString THelpWindow::CurrentTitle() const
{
    return FBrowser->documentTitle();
}

void THelpWindow::Home()
{
    if (FIndexUrl.isValid())
        OpenUrl(FIndexUrl);
}

void THelpWindow::Back()
{
    FBrowser->backward();
}

void THelpWindow::Forward()
{
    FBrowser->forward();
}

// ---------------------------------------------------------------------------------------------
// THelp

namespace {

QString &HelpFileName()
{
    static QString name;
    return name;
}

QString &HelpIndexPage()
{
    static QString page = QStringLiteral(":/help/index.html");
    return page;
}

QPointer<THelpWindow> &HelpWindow()
{
    static QPointer<THelpWindow> window;
    return window;
}

} // namespace

const QString &THelp::HelpFile()
{
    return HelpFileName();
}

void THelp::SetHelpFile(const QString &value)
{
    HelpFileName() = value;
}

const QString &THelp::IndexPage()
{
    return HelpIndexPage();
}

void THelp::SetIndexPage(const QString &value)
{
    HelpIndexPage() = value;
}

void THelp::ShowContents(QWidget *parent)
{
    ShowPage(parent, QString());
}

void THelp::ShowPage(QWidget *parent, const QString &page)
{
    if (!QFileInfo(IndexFile(IndexPage())).isFile())
        throw Exception(QCoreApplication::translate("THelp", "Cannot find the help file %1.")
                            .arg(HelpFile().isEmpty() ? IndexPage() : HelpFile()));
    QPointer<THelpWindow> &window = HelpWindow();
    if (!window) {
        window = new THelpWindow(parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (window->IndexPage() != IndexPage())
        window->SetIndexPage(IndexPage());
    if (page.isEmpty())
        window->Home();
    else
        window->ShowPage(page);
    window->show();
    window->raise();
    window->activateWindow();
}

THelpWindow *THelp::Window()
{
    return HelpWindow();
}
