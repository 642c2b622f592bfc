#include "Abouts.h"

#include "Links.h"
#include "ProgramIcons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString DescriptionText()
{
    return TAbout::tr(
        "VOR-NEX keeps a catalogue of your discs.\n\n"
        "Catalogue a disc once: every folder and file on it is recorded with its name, size, date, "
        "path and type, together with the volume's label and serial number. Text found in info "
        "files on the disc (file_id.diz, descript.ion, readme files and the like) becomes the "
        "description of the folder or file it accompanies.\n\n"
        "Then, with the disc on the shelf, browse the catalogue in the explorer window, edit "
        "descriptions, delete volumes, search by name, volume, date, type and size, and compare a "
        "folder of a live disc with the catalogue to see what is already catalogued.\n\n"
        "The catalogue is one SQLite database file in your data folder.");
}

QString CreditsText()
{
    return TAbout::tr(
        "Copyright (c) 2026 the VOR-NEX developers.\n\n"
        "Pictures\n"
        "The program's picture and every picture of the built-in file types are drawn by the "
        "program's own code; they come with no other licence than the program's.\n\n"
        "Libraries\n"
        "Qt 6 (Core, Gui, Widgets), (c) The Qt Company Ltd and other contributors, used under the "
        "GNU Lesser General Public License version 3. https://www.qt.io\n\n"
        "SQLite, in the public domain. https://www.sqlite.org\n\n"
        "libblkid of util-linux, used under the GNU Lesser General Public License version 2.1 or "
        "later. https://github.com/util-linux/util-linux\n\n"
        "The GNU C++ standard library, under the GNU General Public License version 3 with the GCC "
        "Runtime Library Exception.");
}

QPlainTextEdit *ReadOnlyText(const QString &text, const QString &name)
{
    auto *edit = new QPlainTextEdit(text);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setWordWrapMode(QTextOption::WordWrap);
    return edit;
}

// A label showing a web address or mail address that opens it when clicked.
QLabel *LinkLabel(const QString &target, const QString &name, QWidget *parent)
{
    auto *label = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(target.toHtmlEscaped()), parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label, [target] { OpenLink(target); });
    return label;
}

} // namespace

TAbout::TAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("About"));
    setWindowTitle(tr("About"));

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("ProgramIcon"));
    picture->setPixmap(ProgramPicture(64));
    picture->setFixedSize(64, 64);

    auto *product = new QLabel(QStringLiteral("<b>VOR-NEX</b> %1").arg(QStringLiteral(VNX_VERSION)), this);
    product->setObjectName(QStringLiteral("ProductName"));
    auto *line1 = new QLabel(tr("A catalogue of your discs, browsed and searched without them."), this);
    line1->setObjectName(QStringLiteral("Comments"));
    auto *line2 = new QLabel(tr("Built with Qt %1 and SQLite.").arg(QString::fromLatin1(qVersion())), this);
    line2->setObjectName(QStringLiteral("Copyright"));

    auto *heading = new QVBoxLayout;
    heading->addWidget(product);
    heading->addWidget(line1);
    heading->addWidget(line2);
    heading->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(heading, 1);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("Pages"));
    tabs->addTab(ReadOnlyText(DescriptionText(), QStringLiteral("Description")), tr("&Program"));
    tabs->addTab(ReadOnlyText(CreditsText(), QStringLiteral("Credits")), tr("&Licences and credits"));

    auto *links = new QHBoxLayout;
    links->addWidget(LinkLabel(QStringLiteral("https://www.qt.io"), QStringLiteral("QtLink"), this));
    links->addWidget(LinkLabel(QStringLiteral("https://www.sqlite.org"), QStringLiteral("SqliteLink"), this));
    links->addStretch();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OKButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tabs, 1);
    layout->addLayout(links);
    layout->addWidget(buttons);
    resize(420, 360);
}
