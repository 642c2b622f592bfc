// The data module's questions as the windows ask them: each text, caption, set of buttons and
// icon, and what each button answers.

#include "GlobalQuestions.h"
#include "WindowsFixture.h"

#include <QApplication>

using namespace Qt::StringLiterals;

class TestGlobalQuestions : public QObject
{
    Q_OBJECT

private slots:
    void init() { F = std::make_unique<TWindowsFixture>(); }
    void cleanup() { F.reset(); }

    void Asked_data();
    void Asked();

private:
    std::unique_ptr<TWindowsFixture> F;
};

void TestGlobalQuestions::Asked_data()
{
    QTest::addColumn<QString>("question");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("answer"); // true/false, a TSuspiciousAnswer, or 0 for a notice
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("icon");

    const QString replace = u"This disk is already in the library.\r\nUpdating the library will drop all\r\n"
                            "manually edited file descriprtions\r\nSelect OK to proceeed updating anyway"_s;
    const QString suspicious =
        u"A suspicious file name and description file name mathcing found:\r\n"
        "descript.ion\r\na.txt\r\nSelect CANCEL to skip this file\r\n"
        "Select YES to process all suspicious file\r\nSelect NO to process this file"_s;
    const int okCancel = QMessageBox::Ok | QMessageBox::Cancel;
    const int yesNoCancel = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    const auto replaceRow = [&](const char *name, QMessageBox::StandardButton button, bool answer) {
        QTest::newRow(name) << u"replace"_s << int(button) << int(answer) << u"Warning"_s << replace
                            << okCancel << int(QMessageBox::Warning);
    };
    replaceRow("replace: OK", QMessageBox::Ok, true);
    replaceRow("replace: Cancel", QMessageBox::Cancel, false);
    replaceRow("replace: closed", QMessageBox::Close, false);
    const auto suspiciousRow = [&](const char *name, QMessageBox::StandardButton button,
                                   TSuspiciousAnswer answer) {
        QTest::newRow(name) << u"suspicious"_s << int(button) << int(answer)
                            << u"Suspicious description file name"_s << suspicious << yesNoCancel
                            << int(QMessageBox::Question);
    };
    suspiciousRow("suspicious: Yes", QMessageBox::Yes, TSuspiciousAnswer::ProcessAll);
    suspiciousRow("suspicious: No", QMessageBox::No, TSuspiciousAnswer::ProcessThis);
    suspiciousRow("suspicious: Cancel", QMessageBox::Cancel, TSuspiciousAnswer::Skip);
    QTest::newRow("image in use") << u"in use"_s << int(QMessageBox::Ok) << 0 << u"Information"_s
                                  << u"This image is in use and can not be deleted."_s << int(QMessageBox::Ok)
                                  << int(QMessageBox::Information);
}

void TestGlobalQuestions::Asked()
{
    QFETCH(QString, question);
    QFETCH(int, button);
    QFETCH(int, answer);

    TGlobal &global = *F->Global;
    TMessageBox::SetNextAnswer(QMessageBox::StandardButton(button));
    int answered = 0;
    if (question == u"replace") {
        answered = global.OnConfirmReplace();
    } else if (question == u"suspicious") {
        answered = int(global.OnConfirmSuspicious(u"descript.ion"_s, u"a.txt"_s));
    } else {
        global.OnImageInUse();
    }
    QCOMPARE(answered, answer);
    QCOMPARE(TMessageBox::Shown().size(), 1);
    const TMessageBox::TShown shown = TMessageBox::Shown().first();
    QTEST(shown.Caption, "caption");
    QTEST(shown.Text, "text");
    QTEST(int(shown.Buttons), "buttons");
    QTEST(int(shown.Icon), "icon");
}

QTEST_MAIN(TestGlobalQuestions)
#include "tst_GlobalQuestions.moc"
