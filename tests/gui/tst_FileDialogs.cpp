#include "FileDialogs.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFileDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        TOpenFileDialog::SetAnswerAutomatically(false);
        TOpenFileDialog::ClearShown();
    }
    void AnsweredInAdvanceInOrder();
    void UnansweredIsCancelledWhenAutomatic();
};

void TestFileDialogs::AnsweredInAdvanceInOrder()
{
    TOpenFileDialog::SetNextAnswer(u"/tmp/a.bmp"_s);
    TOpenFileDialog::SetNextAnswer(std::nullopt);
    QCOMPARE(
        TOpenFileDialog::Execute(nullptr, u"Select a bitmap image"_s, u"Bitmap files (*.bmp)"_s, u"bmp"_s),
        std::optional(u"/tmp/a.bmp"_s));
    QCOMPARE(TOpenFileDialog::Execute(nullptr, u"Second"_s, u"PNG files (*.png)"_s), std::nullopt);
    QCOMPARE(TOpenFileDialog::Shown().size(), 2);
    QCOMPARE(TOpenFileDialog::Shown().first().Title, u"Select a bitmap image"_s);
    QCOMPARE(TOpenFileDialog::Shown().last().Filter, u"PNG files (*.png)"_s);
}

void TestFileDialogs::UnansweredIsCancelledWhenAutomatic()
{
    // Answers not used do not outlive ClearShown.
    TOpenFileDialog::SetNextAnswer(u"/stale.bmp"_s);
    TOpenFileDialog::ClearShown();
    TOpenFileDialog::SetAnswerAutomatically(true);
    QCOMPARE(TOpenFileDialog::Execute(nullptr, u"Pick"_s, u"*.bmp"_s), std::nullopt);
    QCOMPARE(TOpenFileDialog::Shown().size(), 1);
}

QTEST_MAIN(TestFileDialogs)
#include "tst_FileDialogs.moc"
