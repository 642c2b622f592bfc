#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>

class QAction;
class QListWidget;
class QTextBrowser;

// One entry of a help window's contents: its title and its page, relative to the index page's
// folder ("scan.html", "find.html#size").
struct THelpTopic
{
    QString Title;
    QString Page;
    friend bool operator==(const THelpTopic &, const THelpTopic &) = default;
};

// A window of HTML help pages: the contents on the left, the page on the right, Back, Forward and
// Home above. Pages come from a folder on disk or from the program's resources (":/help/...").
// Links between pages stay in the window; links to anything else open outside it.
class THelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit THelpWindow(QWidget *parent = nullptr);

    // The first page: a file or resource path, or a folder holding index.html. Unless contents
    // are given, they are made of the index page's links to other pages, in their order.
    const QString &IndexPage() const { return FIndexPage; }
    void SetIndexPage(const QString &indexPage);
    const QList<THelpTopic> &Contents() const { return FContents; }
    void SetContents(const QList<THelpTopic> &topics);

    // Shows a page relative to the index page's folder (a fragment may follow).
    void ShowPage(const QString &page);
    QUrl CurrentPage() const;
    QString CurrentTitle() const;

    void Home();
    void Back();
    void Forward();

private:
    QUrl PageUrl(const QString &page) const;
    void OpenUrl(const QUrl &url);
    void LinkClicked(const QUrl &link);
    void PageChanged(const QUrl &current);
    void FillContents();
    QList<THelpTopic> IndexLinks() const;

    QString FIndexPage;
    QUrl FIndexUrl;
    QList<THelpTopic> FContents;
    bool FOwnContents = false;
    QListWidget *FContentsList;
    QTextBrowser *FBrowser;
    QAction *FBack;
    QAction *FForward;
    QAction *FHome;
};

// The program's help: its help file names what the user reads, which is the HTML help bundled with
// the program (IndexPage, ":/help/index.html" unless set otherwise). One help window at a time.
class THelp
{
public:
    static const QString &HelpFile();
    static void SetHelpFile(const QString &value);
    static const QString &IndexPage();
    static void SetIndexPage(const QString &value);

    // Opens the help window on its contents page, or brings the open one forward there. Raises
    // Exception when the help cannot be found.
    static void ShowContents(QWidget *parent);
    // The same, on one page.
    static void ShowPage(QWidget *parent, const QString &page);
    // The open help window, if any.
    static THelpWindow *Window();
};
