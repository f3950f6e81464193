// The controls window over a coordinator that talks to the real game server: what each
// section shows in which state, and which operations its controls start.

#include "app/controls/ControlView.h"
#include "ClientSetup.h"
#include "RecordingDisplay.h"
#include "ScenePlayer.h"
#include "TestServer.h"
#include "app/controls/LeaveSection.h"
#include "net/Keychain.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Every part of the column that comes and goes, in order.
const QStringList allSections { u"header"_s, u"invitation"_s, u"history"_s, u"player"_s,
    u"roomChooser"_s, u"welcome"_s, u"room"_s, u"contacts"_s, u"send"_s, u"scores"_s, u"leave"_s,
    u"pomodoro"_s, u"switches"_s, u"message"_s, u"serverSettings"_s, u"footer"_s };

// The event loop runs until `done` holds; the Secret Service's replies need a real one.
bool waitUntil(const std::function<bool()> &done)
{
    return ScenePlayer::waitUntil(done, 15000);
}

template <typename T = QWidget> T *child(const QObject &parent, const QString &name)
{
    return parent.findChild<T *>(name);
}

// Of the named widgets, those shown: the name, and ": text" of a label, button or picker.
QStringList shown(const QWidget &view, const QStringList &names)
{
    QStringList lines;
    for (const QString &name : names) {
        const auto *widget = child(view, name);
        if (!widget || !widget->isVisibleTo(&view))
            continue;
        QString text;
        if (const auto *label = qobject_cast<const QLabel *>(widget))
            text = label->text();
        else if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
            text = button->text();
        else if (const auto *box = qobject_cast<const QComboBox *>(widget))
            text = box->currentText();
        lines.append(text.isEmpty() ? name : name + u": "_s + text);
    }
    return lines;
}

// The contacts column in order: each row's name, status, its colour and the send button's tooltip.
QStringList contactRows(const QWidget &view)
{
    QStringList rows;
    for (const QWidget *row :
        child(view, u"contacts"_s)
            ->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        const auto *status = row->findChild<QLabel *>(u"contactStatus"_s);
        const auto *send = row->findChild<QToolButton *>();
        if (status)
            rows.append(child<QLabel>(*row, u"contactName"_s)->text() + u": "_s + status->text()
                + u' ' + status->palette().color(QPalette::WindowText).name()
                + (send ? u" ["_s + send->toolTip() + u']' : QString()));
        else if (QStringList { u"noContacts"_s, u"currentlyUnavailable"_s }.contains(
                     row->objectName()))
            rows.append(row->objectName());
    }
    return rows;
}

void click(const QObject &parent, const QString &name)
{
    auto *button = child<QAbstractButton>(parent, name);
    QVERIFY(button);
    // A check box on its box: the widget may be wider than its text, and a click beside misses.
    QTest::mouseClick(button, Qt::LeftButton, {},
        qobject_cast<QCheckBox *>(button) ? QPoint(6, button->height() / 2) : QPoint());
}

void choose(QWidget &view, const QString &picker, int index)
{
    auto *box = child<QComboBox>(view, picker);
    box->setCurrentIndex(index < 0 ? box->count() + index : index);
    emit box->activated(box->currentIndex());
}

// Creates a room through the window and waits until its state is shown.
void createRoomThroughWindow(AppModel &model, QWidget &view, const QString &name)
{
    child<QLineEdit>(view, u"roomName"_s)->setText(name);
    click(view, u"createRoom"_s);
    QVERIFY(waitUntil([&] { return model.snapshot() && model.snapshot()->room.name == name; }));
}

} // namespace

class ControlViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TestServer m_server;
    RecordingDisplay *m_display = nullptr;
    int m_clients = 0;

    QString serverText(const QString &host, const QString &scheme = u"http"_s) const
    {
        return u"%1://%2:%3"_s.arg(scheme, host).arg(m_server.httpUrl().port());
    }

    // A coordinator whose session restore against the test's server has finished.
    std::unique_ptr<AppModel> model()
    {
        auto model = std::make_unique<AppModel>(
            clientSetup(m_dir.filePath(u"client%1.conf"_s.arg(++m_clients)), m_server.httpUrl(),
                m_server.wsUrl(), &m_display));
        waitUntil([&] { return model->user() && !model->working(); });
        return model;
    }

    static std::unique_ptr<ControlView> shownView(AppModel &model)
    {
        auto view = std::make_unique<ControlView>(model);
        view->resize(380, 700);
        view->show();
        return QTest::qWaitForWindowExposed(view.get()) ? std::move(view) : nullptr;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorText())); }

    // The session kept for a server's address is one player: each case starts with new ones.
    void init()
    {
        for (const QString &host : { u"127.0.0.1"_s, u"localhost"_s })
            QCOMPARE(QCoro::waitFor(Keychain::save(std::nullopt, serverText(host))), std::nullopt);
    }

    // Each control of the room's column asks the coordinator once; deleting waits for consent.
    void roomControlsReachTheCoordinator()
    {
        auto model = this->model();
        auto view = shownView(*model);
        const QStringList texts { u"roomPicker"_s, u"playerNumber"_s, u"restoreProgress"_s,
            u"availableCount"_s, u"roomTitle"_s, u"roomScore"_s, u"totalsScore"_s };
        const QString player = u"playerNumber: Player #"_s + QString::number(model->user()->id);
        QCOMPARE(shown(*view, allSections + texts),
            (QStringList { u"header"_s, u"player"_s, u"roomChooser"_s, u"welcome"_s,
                u"message: Create a room or enter a secret Room ID to join."_s, u"serverSettings"_s,
                u"footer"_s, u"roomPicker: Choose room"_s, player }));
        QCOMPARE(child<QLineEdit>(*view, u"invite"_s)->echoMode(), QLineEdit::Password); // secret

        createRoomThroughWindow(*model, *view, u"First"_s);
        createRoomThroughWindow(*model, *view, u"Second"_s);
        choose(
            *view, u"roomPicker"_s, child<QComboBox>(*view, u"roomPicker"_s)->findText(u"First"_s));
        QVERIFY(waitUntil(
            [&] { return model->snapshot()->room.name == u"First"_s && model->connected(); }));
        // Alone in the room: nobody can receive the ball.
        QCOMPARE(shown(*view, allSections + texts) + contactRows(*view),
            (QStringList { u"header"_s, u"player"_s, u"roomChooser"_s, u"room"_s, u"contacts"_s,
                u"send"_s, u"scores"_s, u"leave"_s, u"pomodoro"_s, u"switches"_s,
                u"message: Connected"_s, u"serverSettings"_s, u"footer"_s, u"roomPicker: First"_s,
                player, u"availableCount: 0 available"_s, u"roomTitle: First"_s,
                u"roomScore: Room: received 0 · Scored 0 · Timed out 0\nSuccess 0% · Best streak 0"_s,
                u"totalsScore: All rooms: received 0 · 0 points · 0 timeouts · 0% · best 0"_s,
                u"noContacts"_s }));

        m_display->calls.clear();
        choose(*view, u"screenPicker"_s, -1);
        const int last = child<QComboBox>(*view, u"screenPicker"_s)->count() - 1;
        QCOMPARE(m_display->calls.filter(u"move"_s), QStringList { u"move %1"_s.arg(last) });
        click(*view, u"copyRoomId"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), model->snapshot()->room.inviteCode);
        click(*view, u"copyInvitation"_s);
        QCOMPARE(QGuiApplication::clipboard()->text(),
            model->inviteBase().value_or(u"none"_s) + u'#' + model->snapshot()->room.inviteCode);

        // A second player joins: the send button passes them the ball, which enters at the right
        // edge without a throw of the holder's own; no second ball can go.
        ScenePlayer receiver(serverText(u"localhost"_s), serverText(u"localhost"_s, u"ws"_s),
            QString::fromLatin1(TestServer::appKey));
        QVERIFY(receiver.waitSignedIn());
        QCoro::waitFor(receiver.model().joinRoom(model->snapshot()->room.inviteCode));
        auto *send = child<QPushButton>(*view, u"sendButton"_s);
        QVERIFY(receiver.waitConnected() && waitUntil([&] { return send->isEnabled(); }));
        click(*view, u"sendButton"_s);
        const auto &got = receiver.model().snapshot(); // re-read on every poll
        QVERIFY(waitUntil(
            [&] { return got && got->round && got->round->receiverId == receiver.id(); }));
        QCOMPARE(got->round->entry, (Entry { 1.0, 0.45, 0.55, 0.35 }));
        QVERIFY(waitUntil([&] { return !send->isEnabled(); }));

        // Connect starts a session restore; it ends by itself.
        QSignalSpy working(model.get(), &AppModel::workingChanged);
        click(*view, u"connect"_s);
        QCOMPARE(working.size(), 1);
        QVERIFY(waitUntil([&] { return !model->working(); }));

        click(*view, u"leaveRoom"_s);
        QVERIFY(waitUntil([&] { return !model->snapshot() && model->rooms().size() == 1; }));
        choose(*view, u"roomPicker"_s, 1);
        QVERIFY(waitUntil([&] { return model->snapshot().has_value(); }));
        for (const QString &answer : { u"cancelDelete"_s, u"confirmDelete"_s }) {
            click(*view, u"deleteRoom"_s);
            QMessageBox *dialog = child<LeaveSection>(*view, u"leave"_s)->deleteConfirmation();
            QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog));
            click(*dialog, answer);
            QVERIFY(waitUntil([&] { return !dialog->isVisible(); }));
            // Cancelled, nothing was sent: the server still lists the room.
            QCOMPARE(QCoro::waitFor(model->loadRooms()), std::nullopt);
            const qsizetype left = answer == u"cancelDelete"_s ? 1 : 0;
            QVERIFY(waitUntil([&] { return model->rooms().size() == left; }));
        }
        QVERIFY(waitUntil([&] { return shown(*view, allSections).contains(u"welcome"_s); }));
    }

    // The room's column over a state of other members; its switches, an invitation waiting for
    // consent, quitting and the server settings.
    void roomColumnFollowsTheState()
    {
        auto model = this->model();
        auto view = shownView(*model);
        Snapshot snapshot;
        snapshot.room = { 41, 1, u"Lobby"_s, u"ABCDEFGH2345"_s, 904, std::nullopt };
        snapshot.members = { { model->user()->id, model->user()->name, u"ONLINE"_s },
            { 901, u"Busy Bee"_s, u"BUSY"_s }, { 902, u"Ada"_s, u"ONLINE"_s },
            { 903, u"Dee"_s, u"DO_NOT_DISTURB"_s }, { 904, u"Bob"_s, u"ONLINE"_s },
            { 905, u"Eve"_s, u"online"_s } };
        // The player's own score is picked.
        snapshot.scores = { { 8, 9, 9, 0, 9 }, { model->user()->id, 3, 4, 1, 2 } };
        snapshot.totals = Totals { 10, 5, 5, 3 };
        QCoro::waitFor(model->apply(snapshot));
        // The player is never a contact of their own; only the available can be sent the ball,
        // and not before the room is connected (SendGate's reason is on both buttons).
        QCOMPARE(contactRows(*view)
                + shown(*view,
                    { u"availableCount"_s, u"sendBlockReason"_s, u"roomScore"_s,
                        u"totalsScore"_s }),
            (QStringList { u"Ada: Available #34c759 [Send the ball to Ada]"_s,
                u"Bob: Available · Has the ball #34c759 [Send the ball to Bob]"_s,
                u"currentlyUnavailable"_s, u"Busy Bee: Busy · playing a round #ff9500"_s,
                u"Dee: Do not disturb #ff3b30"_s, u"Eve: Offline #8e8e93"_s,
                u"availableCount: 2 available"_s, u"sendBlockReason: Connecting to room…"_s,
                u"roomScore: Room: received 4 · Scored 3 · Timed out 1\nSuccess 75% · Best streak 2"_s,
                u"totalsScore: All rooms: received 10 · 5 points · 5 timeouts · 50% · best 3"_s }));
        auto *send = child<QPushButton>(*view, u"sendButton"_s);
        QVERIFY(!send->isEnabled()
            && !child(*child(*view, u"contact-902"_s), u"sendBall"_s)->isEnabled());

        auto *receivers = child<QComboBox>(*view, u"receiverPicker"_s);
        const int ada = receivers->findData(qint64(902));
        choose(*view, u"receiverPicker"_s, ada);
        QCOMPARE(
            receivers->itemText(0) + u", "_s + receivers->currentText() + u", "_s + send->text(),
            u"Random online player, Ada #902, Send to Ada"_s);
        QCOMPARE(model->selectedReceiver(), 902);

        const QStringList pomodoro { u"pomodoroSwitch"_s, u"pomodoroPhase"_s, u"takeBreak"_s,
            u"backToFocus"_s, u"pomodoroClock"_s };
        QCOMPARE(shown(*view, pomodoro),
            QStringList { u"pomodoroSwitch: Pomodoro · 30 min work / 5 min play"_s });
        click(*view, u"pomodoroSwitch"_s);
        QStringList steps = shown(*view, pomodoro).mid(1);
        click(*view, u"takeBreak"_s);
        steps += shown(*view, pomodoro).mid(1, 2);
        QCOMPARE(steps,
            (QStringList { u"pomodoroPhase: Focus mode · incoming balls blocked"_s,
                u"takeBreak: Take game break now"_s, u"pomodoroClock: Focus · 30:00"_s,
                u"pomodoroPhase: Game break · send to an available contact"_s,
                u"backToFocus: Back to 30-minute focus"_s }));
        click(*view, u"backToFocus"_s);
        QVERIFY(model->focusActive());
        // Each switch sets the coordinator's property.
        for (const char *name : { "paused", "hidden", "sound" }) {
            const bool before = model->property(name).toBool();
            click(*view, QString::fromLatin1(name) + u"Switch"_s);
            QCOMPARE(model->property(name).toBool(), !before);
        }

        model->handleInvitation(
            u"tosswick://join?room=ABCDEFGH&api=http://games.example:8088&ws=ws://games.example:8088&key=desk-hoops-sample"_s);
        // The answer is one key away: "Join room" has the focus.
        QCOMPARE(view->focusWidget(), child(*view, u"acceptInvitation"_s));
        for (auto *button : child(*view, u"invitation"_s)->findChildren<QPushButton *>()) {
            if (button->text() == u"Cancel"_s)
                QTest::mouseClick(button, Qt::LeftButton);
        }
        QVERIFY(
            !model->pendingInvitation() && !shown(*view, allSections).contains(u"invitation"_s));

        QSignalSpy quit(view.get(), &ControlView::quitRequested);
        click(*view, u"quit"_s);
        QCOMPARE(quit.size(), 1);

        auto *server = child<QLineEdit>(*view, u"serverUrl"_s);
        QCOMPARE(server->text(), m_server.httpUrl().toString());
        server->selectAll();
        QTest::keyClicks(server, u"http://other.example"_s);
        QCOMPARE(model->server(), u"http://other.example"_s);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ControlViewTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ControlViewTest.moc"
