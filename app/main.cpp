#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VOR-NEX"));

    // Until the explorer window exists the program shows a plain main window.
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("VOR_NEX"));
    auto *label = new QLabel(QObject::tr("The disk catalogue is being built."), &window);
    label->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(label);
    window.resize(603, 455);
    window.show();
    return app.exec();
}
