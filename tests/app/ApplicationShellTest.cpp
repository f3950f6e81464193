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

namespace {
// The event loop runs until `done` holds; the Secret Service's replies need a real one.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 15000)
{
    return ScenePlayer::waitUntil(done, timeoutMs);
}
} // namespace

class ApplicationShellTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    RecordingDisplay *m_display = nullptr;
    int m_shells = 0;

    // A shell whose coordinator reaches no server (nothing listens at port 1), once its
    // session restore has failed and the message is cleared again.
    std::unique_ptr<ApplicationShell> offlineShell()
    {
        auto shell = std::make_unique<ApplicationShell>(
            clientSetup(m_dir.filePath(u"shell%1.conf"_s.arg(++m_shells)),
                QUrl(u"http://127.0.0.1:1"_s), QUrl(u"ws://127.0.0.1:1"_s), &m_display));
        AppModel &model = shell->model();
        if (!waitUntil([&] { return !model.working() && !model.message().isEmpty(); }))
            qWarning("the failing session restore did not finish");
        model.setMessage(QString());
        return shell;
    }

    static QString labelText(QWidget *window, const QString &name)
    {
        auto *label = window->findChild<QLabel *>(name);
        return label && label->isVisibleTo(window) ? label->text() : QString();
    }

private Q_SLOTS:
    // Opened from the tray's popup, the controls come up centred; closed, they only hide (the
    // program and the overlay run on) and come back as the same window, which shows the links
    // handed to the program (which links are invitations is RoomInvitation's rule).
    void controlsWindowComesAndGoes()
    {
        auto shell = offlineShell();
        auto *tray = shell->findChild<QSystemTrayIcon *>();
        QVERIFY(tray && !shell->trayPopup());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QWidget *popup = shell->trayPopup();
        QVERIFY(popup && QTest::qWaitForWindowExposed(popup));
        // The controls themselves are in the popup, under the button.
        QVERIFY(popup->findChild<ControlView *>());
        auto *open = popup->findChild<QPushButton *>(u"openControls"_s);
        QCOMPARE(open->text(), u"Open controls window"_s);
        QVERIFY(!shell->controls());
        QTest::mouseClick(open, Qt::LeftButton);
        QWidget *window = shell->controls();
        QVERIFY(qobject_cast<ControlView *>(window) && QTest::qWaitForWindowExposed(window));
        QVERIFY(!popup->isVisible());
        QCOMPARE(window->windowTitle(), u"TOSSWICK"_s);
        QCOMPARE(window->size(), QSize(380, 700));
        QCOMPARE(window->minimumSize(), window->maximumSize()); // not resizable
        const QPoint offCentre = window->geometry().center()
            - QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY(qAbs(offCentre.x()) <= 1 && qAbs(offCentre.y()) <= 1);

        bool stillRunning = false;
        QList<QString> closingCalls { u"not closed"_s };
        // Had closing the last window ended the event loop, the later timer would never fire.
        QTimer::singleShot(0, window, [&] {
            m_display->calls.clear();
            window->close();
            closingCalls = m_display->calls;
        });
        QTimer::singleShot(300, qApp, [&stillRunning] {
            stillRunning = true;
            QApplication::quit();
        });
        QApplication::exec();
        QVERIFY(stillRunning && !window->isVisible());
        QVERIFY(closingCalls.isEmpty()); // the overlay was not touched
        shell->openLinks({
            u"tosswick://join?room=AAAAAAAA&api=http://a.example&ws=ws://a.example&key=k"_s,
            u"tosswick://join?room=BBBBBBBB&api=http://b.example&ws=ws://b.example&key=k"_s,
            u"tosswick://join?room=bad!"_s,
        });
        QCOMPARE(shell->controls(), window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(shell->model().pendingInvitation().value_or(RoomInvitation()).room, u"BBBBBBBB"_s);
        QCOMPARE(labelText(window, u"invitationServer"_s), u"Server: http://b.example"_s);
        QCOMPARE(labelText(window, u"message"_s), u"Invalid room invitation"_s);
    }

    void aHitSendsTheWindowAwayAndShowingItCancelsThat()
    {
        auto shell = offlineShell();
        shell->launched();
        QWidget *window = shell->controls();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // A celebrated hit: 0.8 s later the game and the window step aside.
        shell->model().finishSuccess(true, std::nullopt);
        QVERIFY(waitUntil([&] { return !window->isVisible(); }, 5000));
        QVERIFY(shell->model().gameplayDismissed());

        // Showing the window brings the game back: the overlay is asked again whether to show
        // (no room: it stays hidden).
        m_display->calls.clear();
        shell->showControls();
        QVERIFY(!shell->model().gameplayDismissed());
        QCOMPARE(m_display->calls, QList<QString> { u"show false"_s });
        // Showing it during a celebration cancels its end.
        shell->model().finishSuccess(true, std::nullopt);
        shell->showControls();
        QVERIFY(!waitUntil([&] { return !window->isVisible(); }, 1500));
        QVERIFY(!shell->model().gameplayDismissed());
    }

    void quittingWithARoomTellsTheServer()
    {
        TestServer server;
        QVERIFY2(server.start(), qPrintable(server.errorText()));
        ApplicationShell shell(clientSetup(
            m_dir.filePath(u"quit.conf"_s), server.httpUrl(), server.wsUrl(), &m_display));
        AppModel &model = shell.model();
        QVERIFY(waitUntil([&] { return model.user() && !model.working(); }, 15000));
        QCoro::waitFor(model.createRoom(u"Leaving soon"_s));
        QVERIFY(model.roomID());
        QVERIFY(waitUntil([&] {
            return model.snapshot() && model.snapshot()->members.size() == 1
                && model.snapshot()->members[0].isOnline();
        }));
        shell.launched();

        QTimer::singleShot(0, &shell, &ApplicationShell::quit);
        QApplication::exec(); // returns once the shell has left the event loop
        QVERIFY(!model.connected());
        QVERIFY(!shell.controls()->isVisible());
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
