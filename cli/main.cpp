#include <QCoreApplication>
#include <QTextStream>

// The command-line front end. Its commands arrive with the data module; until then it only tells
// how it will be called and refuses everything else.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vor-nex-cli"));
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == u"--help") {
        QTextStream(stdout) << "usage: vor-nex-cli [--catalog FILE] COMMAND [ARGS]\n";
        return args.isEmpty() ? 2 : 0;
    }
    err << "vor-nex-cli: unknown command '" << args.first() << "'\n";
    return 2;
}
