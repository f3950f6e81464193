#include "app/ApplicationShell.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

using namespace Qt::StringLiterals;

// The controls window as the shell shows it, under a real X display.
class ApplicationShellTest : public QObject
{
    Q_OBJECT
private slots:
    void launchShowsCentredControls()
    {
        ApplicationShell shell;
        QVERIFY(!shell.controls());
        shell.launched();
        QWidget *window = shell.controls();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), u"TOSSWICK"_s);
        QCOMPARE(window->size(), QSize(380, 700));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(qAbs(window->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(window->geometry().center().y() - screen.center().y()) <= 1);
    }

    void closingOnlyHidesAndLinksBringItBack()
    {
        ApplicationShell shell;
        shell.launched();
        QWidget *window = shell.controls();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->close());
        QVERIFY(!window->isVisible());
        QCOMPARE(shell.controls(), window); // kept, not destroyed

        shell.openLinks({u"tosswick://join?room=ABCDEFGH"_s});
        QCOMPARE(shell.controls(), window); // the same window comes back
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ApplicationShellTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ApplicationShellTest.moc"
