// The application shell as the program runs it, under a real X display: the one coordinator,
// the controls window, links handed to it, and the end of the program.

#include "app/ApplicationShell.h"
#include "ClientSetup.h"
#include "RecordingDisplay.h"
#include "ScenePlayer.h"
#include "TestServer.h"
#include "app/controls/ControlView.h"
#include "net/API.h"
#include "net/Keychain.h"

#include <QApplication>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Every wait runs the event loop: the Secret Service's replies need a real one.
class ApplicationShellTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingDisplay *m_display = nullptr;
    int m_shells = 0;

    // A shell reaching no server (port 1), once its restore has failed and the message is cleared.
    std::unique_ptr<ApplicationShell> offlineShell()
    {
        auto shell = std::make_unique<ApplicationShell>(
            clientSetup(m_dir.filePath(u"shell%1.conf"_s.arg(++m_shells)),
                QUrl(u"http://127.0.0.1:1"_s), QUrl(u"ws://127.0.0.1:1"_s), &m_display));
        AppModel &model = shell->model();
        ScenePlayer::waitUntil(
            [&] { return !model.working() && !model.message().isEmpty(); }, 15000);
        model.setMessage(QString());
        return shell;
    }

private Q_SLOTS:
    // Opened from the tray's popup, the controls come up centred; closed, they only hide and come
    // back as the same window, showing the links handed over (RoomInvitation tells which count).
    void controlsWindowComesAndGoes()
    {
        auto shell = offlineShell();
        emit shell->findChild<QSystemTrayIcon *>()->activated(QSystemTrayIcon::Trigger);
        QWidget *popup = shell->trayPopup();
        QVERIFY(popup && QTest::qWaitForWindowExposed(popup));
        auto *open = popup->findChild<QPushButton *>(u"openControls"_s);
        QCOMPARE(open->text(), u"Open controls window"_s);
        QTest::mouseClick(open, Qt::LeftButton);
        QWidget *window = shell->controls();
        QVERIFY(qobject_cast<ControlView *>(window) && QTest::qWaitForWindowExposed(window));
        QVERIFY(!popup->isVisible());
        QCOMPARE(window->windowTitle(), u"TOSSWICK"_s);
        QVERIFY(
            window->size() == QSize(380, 700) && window->minimumSize() == window->maximumSize());
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((window->geometry().center() - screen.center()).manhattanLength() <= 2);

        m_display->calls.clear();
        window->close(); // the program runs on, the overlay untouched
        QVERIFY(!window->isVisible() && !QApplication::quitOnLastWindowClosed());
        QCOMPARE(m_display->calls, QList<QString> {});
        shell->openLinks({
            u"tosswick://join?room=AAAAAAAA&api=http://a.example&ws=ws://a.example&key=k"_s,
            u"tosswick://join?room=BBBBBBBB&api=http://b.example&ws=ws://b.example&key=k"_s,
            u"tosswick://join?room=bad!"_s,
        });
        QVERIFY(shell->controls() == window && QTest::qWaitForWindowExposed(window));
        QCOMPARE(shell->model().pendingInvitation().value_or(RoomInvitation()).room, u"BBBBBBBB"_s);
        QCOMPARE(window->findChild<QLabel *>(u"invitationServer"_s)->text(),
            u"Server: http://b.example"_s);
        QCOMPARE(window->findChild<QLabel *>(u"message"_s)->text(), u"Invalid room invitation"_s);
    }

    void aHitSendsTheWindowAwayAndShowingItCancelsThat()
    {
        auto shell = offlineShell();
        shell->launched();
        QWidget *window = shell->controls();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // A celebrated hit: 0.8 s later the game and the window step aside.
        shell->model().finishSuccess(true, std::nullopt);
        QVERIFY(ScenePlayer::waitUntil([&] { return !window->isVisible(); }, 5000));
        QVERIFY(shell->model().gameplayDismissed());

        // Showing the window brings the game back: the overlay is asked again whether to show
        // (no room: it stays hidden).
        m_display->calls.clear();
        shell->showControls();
        QCOMPARE(m_display->calls, QList<QString> { u"show false"_s });
        QVERIFY(!shell->model().gameplayDismissed());
        // Showing it during a celebration cancels its end.
        shell->model().finishSuccess(true, std::nullopt);
        shell->showControls();
        QVERIFY(!ScenePlayer::waitUntil([&] { return !window->isVisible(); }, 1500));
    }

    void quittingWithARoomTellsTheServer()
    {
        TestServer server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        ApplicationShell shell(clientSetup(
            m_dir.filePath(u"quit.conf"_s), server.httpUrl(), server.wsUrl(), &m_display));
        AppModel &model = shell.model();
        QVERIFY(ScenePlayer::waitUntil([&] { return model.user() && !model.working(); }, 15000));
        QCoro::waitFor(model.createRoom(u"Leaving soon"_s));
        QVERIFY(ScenePlayer::waitUntil(
            [&] {
                return model.snapshot() && model.snapshot()->members.size() == 1
                    && model.snapshot()->members[0].isOnline();
            },
            15000));
        shell.launched();

        QTimer::singleShot(0, &shell, &ApplicationShell::quit);
        QApplication::exec(); // returns once the shell has left the event loop
        QVERIFY(!model.connected() && !shell.controls()->isVisible());
        // The server heard the notice: the player, online a moment ago, is offline now.
        QNetworkAccessManager network;
        API api(network, server.httpUrl().toString(QUrl::StripTrailingSlash));
        api.setToken(QCoro::waitFor(Keychain::read(api.base())));
        const auto state
            = QCoro::waitFor(api.get<Snapshot>(u"rooms/%1/state"_s.arg(*model.roomID())));
        QVERIFY2(state, qPrintable(state ? QString() : state.error().description()));
        QCOMPARE(state->members,
            (QList<Member> { { model.user()->id, model.user()->name, u"OFFLINE"_s } }));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ApplicationShellTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ApplicationShellTest.moc"
