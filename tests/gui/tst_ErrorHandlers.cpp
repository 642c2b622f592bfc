#include "ErrorHandlers.h"
#include "SysUtils.h"

#include <QPushButton>
#include <QTest>

namespace {

class TThrowing : public QObject
{
protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw Exception(QStringLiteral("raised by a posted event"));
        return QObject::event(event);
    }
};

} // namespace

// The program runs on TApplication, so these tests do too.
class TestErrorHandlers : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FShown.clear();
        SetExceptionDisplay([this](const QString &message) { FShown << message; });
    }
    void cleanup() { SetExceptionDisplay({}); }

    void AnExceptionThatEscapesAHandlerIsShownAndTheProgramGoesOn()
    {
        TThrowing target;
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::sendPostedEvents(&target);

        QPushButton button;
        const QMetaObject::Connection raising = connect(&button, &QPushButton::clicked, &button, [] {
            throw Exception(QStringLiteral("raised by a click"));
        });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(FShown, QStringList({QStringLiteral("raised by a posted event"),
                                      QStringLiteral("raised by a click")}));

        // The program goes on: the button takes the next click.
        disconnect(raising);
        int clicks = 0;
        connect(&button, &QPushButton::clicked, &button, [&clicks] { ++clicks; });
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

private:
    QStringList FShown;
};

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    TestErrorHandlers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ErrorHandlers.moc"
