#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tosswick"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tosswick"));
    QApplication::setApplicationVersion(QStringLiteral(TOSSWICK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Basketball across desktops"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    return 0;
}
