// The German translation: complete, with the same placeholders and access keys as the English
// texts, and shown by the windows once installed as the program installs it.

#include "CDExs.h"
#include "FindDialogs.h"
#include "FindMatchs.h"
#include "ImageEds.h"
#include "Screenshots.h"
#include "SelectDrives.h"
#include "Translations.h"
#include "windows/WindowsFixture.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

struct TMessage
{
    QString Context;
    QString Source;
    QString Translation;
    QString Type;
};

// The text of a source or translation, where lupdate writes a byte it cannot put in XML, such as the
// carriage return of "\r\n", as <byte value="xd"/>. A translation of a text with a count ("%n")
// has a form for each grammatical number instead: those go to forms.
QString ReadText(QXmlStreamReader &xml, QStringList *forms = nullptr)
{
    QString text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters()) {
            text += xml.text();
        } else if (forms && xml.isStartElement() && xml.name() == u"numerusform") {
            *forms << ReadText(xml);
        } else if (xml.isStartElement() && xml.name() == u"byte") {
            QString value = xml.attributes().value(u"value"_s).toString();
            bool ok = false;
            const uint code = value.startsWith(u'x') ? value.mid(1).toUInt(&ok, 16) : value.toUInt(&ok);
            text += ok ? QChar(code) : QChar::ReplacementCharacter;
            xml.skipCurrentElement();
        } else if (xml.isEndElement()) {
            break;
        }
    }
    return text;
}

QList<TMessage> ReadMessages(const QString &path)
{
    QList<TMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            TMessage message{context, {}, {}, {}};
            QStringList forms;
            while (xml.readNextStartElement()) {
                if (xml.name() == u"source") {
                    message.Source = ReadText(xml);
                } else if (xml.name() == u"translation") {
                    message.Type = xml.attributes().value(u"type"_s).toString();
                    message.Translation = ReadText(xml, &forms);
                } else {
                    xml.skipCurrentElement();
                }
            }
            // Each form of a count is checked as a translation of its own.
            if (forms.isEmpty())
                messages << message;
            for (const QString &form : std::as_const(forms))
                messages << TMessage{message.Context, message.Source, form, message.Type};
        }
    }
    return xml.hasError() ? QList<TMessage>() : messages;
}

// The placeholders of a text, in order of their numbers: "%1", "%L2".
QStringList Placeholders(const QString &text)
{
    static const QRegularExpression placeholder(u"%L?[1-9]"_s);
    QStringList found;
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(text))
        found << match.captured();
    found.sort();
    return found;
}

// Access keys ("&F") and literal ampersands ("&&"), counted apart.
QPair<int, int> Ampersands(const QString &text)
{
    int keys = 0;
    int literals = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (i + 1 < text.size() && text[i + 1] == u'&') {
            ++literals;
            ++i;
        } else {
            ++keys;
        }
    }
    return {keys, literals};
}

QString MenuTitle(const QMainWindow &window, const char *name)
{
    const auto *menu = window.menuBar()->findChild<QMenu *>(QLatin1StringView(name));
    return menu ? menu->title() : QString();
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void EveryMessageIsTranslated_data();
    void EveryMessageIsTranslated();
    void TheExplorerSpeaksTheSystemsLanguage();
    void TheDialogsSpeakItToo_data();
    void TheDialogsSpeakItToo();
    void StandardButtonsAreTranslatedToo();
    void ALanguageWithoutTranslationStaysEnglish();
};

void TestTranslations::cleanup()
{
    InstallTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestTranslations::EveryMessageIsTranslated_data()
{
    QTest::addColumn<QString>("file");
    const QDir folder(QStringLiteral(VNX_TRANSLATIONS));
    const QStringList files = folder.entryList({u"*.ts"_s}, QDir::Files);
    QVERIFY(files.contains(u"vor-nex_de.ts"_s));
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << folder.filePath(file);
}

void TestTranslations::EveryMessageIsTranslated()
{
    QFETCH(QString, file);
    const QList<TMessage> messages = ReadMessages(file);
    QVERIFY2(messages.size() > 200, "the file cannot be read, or it holds too few messages");
    for (const TMessage &message : messages) {
        const QByteArray where = (message.Context + u": "_s + message.Source).toUtf8();
        QVERIFY2(message.Type.isEmpty(), where.constData());
        QVERIFY2(!message.Translation.trimmed().isEmpty(), where.constData());
        QVERIFY2(Placeholders(message.Translation) == Placeholders(message.Source), where.constData());
        QVERIFY2(Ampersands(message.Translation) == Ampersands(message.Source), where.constData());
        // A text ending in a space is put together with what follows it; the lines of a message
        // are laid out as its box shows them.
        QVERIFY2(message.Translation.endsWith(u' ') == message.Source.endsWith(u' '), where.constData());
        QVERIFY2(message.Translation.count(u'\n') == message.Source.count(u'\n'), where.constData());
        QVERIFY2(message.Translation.count(u'\r') == message.Source.count(u'\r'), where.constData());
    }
}

void TestTranslations::TheExplorerSpeaksTheSystemsLanguage()
{
    TWindowsFixture fixture;
    QVERIFY(InstallTranslations(QLocale(QLocale::German, QLocale::Germany)));
    TCDEx window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    KeepScreenshot(window.grab(), u"explorer-de.png"_s);
    QCOMPARE(MenuTitle(window, "File1"), u"&Datei"_s);
    QCOMPARE(MenuTitle(window, "Help1"), u"&Hilfe"_s);
    QCOMPARE(window.findChild<QAction *>(u"Find1"_s)->text(), u"&Suchen..."_s);
    // Texts of the catalogue layer, shown in the windows, too.
    QCOMPARE(QCoreApplication::translate("TDatabase", "the file cannot be written"),
             u"die Datei kann nicht geschrieben werden"_s);
}

void TestTranslations::TheDialogsSpeakItToo_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("title");
    QTest::newRow("find") << u"Find"_s << u"Suchen"_s;
    QTest::newRow("find matches") << u"FindMatch"_s << u"Übereinstimmungen suchen"_s;
    QTest::newRow("drives") << u"SelectDrive"_s << u"Laufwerk auswählen"_s;
    QTest::newRow("images") << u"ImagEd"_s << u"Bilder einrichten"_s;
}

// The longer German texts fit the windows' first sizes; VNX_SCREENSHOTS keeps them for a look.
void TestTranslations::TheDialogsSpeakItToo()
{
    QFETCH(QString, window);
    TWindowsFixture fixture;
    QVERIFY(InstallTranslations(QLocale(QLocale::German, QLocale::Germany)));
    std::unique_ptr<QDialog> dialog;
    if (window == u"Find") {
        auto find = std::make_unique<TFind>();
        find->FillChoices();
        dialog = std::move(find);
    } else if (window == u"FindMatch") {
        dialog = std::make_unique<TFindMatch>();
    } else if (window == u"SelectDrive") {
        dialog = std::make_unique<TSelectDrive>();
    } else {
        dialog = std::make_unique<TImagEd>();
    }
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    KeepScreenshot(dialog->grab(), u"%1-de.png"_s.arg(window));
    QTEST(dialog->windowTitle(), "title");
    QVERIFY(dialog->width() >= dialog->minimumSizeHint().width());
    dialog->reject();
}

void TestTranslations::StandardButtonsAreTranslatedToo()
{
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + u"/qtbase_de.qm"_s))
        QSKIP("Qt's German translation (qt6-translations-l10n) is not installed");
    InstallTranslations(QLocale(QLocale::German, QLocale::Germany));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), u"Abbrechen"_s);
}

void TestTranslations::ALanguageWithoutTranslationStaysEnglish()
{
    TWindowsFixture fixture;
    QVERIFY(InstallTranslations(QLocale(QLocale::German, QLocale::Germany)));
    // Switching replaces the German translators rather than adding to them.
    QVERIFY(!InstallTranslations(QLocale(QLocale::Japanese, QLocale::Japan)));
    TCDEx window;
    QCOMPARE(MenuTitle(window, "File1"), u"&File"_s);
    QCOMPARE(window.findChild<QAction *>(u"Find1"_s)->text(), u"&Find..."_s);
}

QTEST_MAIN(TestTranslations)
#include "tst_Translations.moc"
