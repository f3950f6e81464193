// The controls window over a coordinator that talks to the real game server: what each
// section shows in which state, and which operations its controls start.

#include "app/controls/ControlView.h"
#include "ClientSetup.h"
#include "RecordingDisplay.h"
#include "ScenePlayer.h"
#include "TestServer.h"
#include "app/controls/ContactsSection.h"
#include "app/controls/Disclosure.h"
#include "app/controls/LeaveSection.h"
#include "app/controls/ScoresSection.h"
#include "model/AppModel.h"
#include "model/DateText.h"
#include "model/Preferences.h"

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
#include <QTimeZone>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Every part of the column that comes and goes, in order.
const QStringList allSections { u"header"_s, u"invitation"_s, u"history"_s, u"player"_s,
    u"roomChooser"_s, u"welcome"_s, u"room"_s, u"contacts"_s, u"send"_s, u"scores"_s, u"leave"_s,
    u"pomodoro"_s, u"switches"_s, u"message"_s, u"serverSettings"_s, u"footer"_s };

// The event loop runs until `done` holds; the Secret Service's replies need a real one.
bool waitUntil(const std::function<bool()> &done, int timeoutMs = 15000)
{
    return ScenePlayer::waitUntil(done, timeoutMs);
}
} // namespace

class ControlViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TestServer> m_server;
    RecordingDisplay *m_display = nullptr;
    int m_clients = 0;

    // A coordinator whose session restore against the test's server has finished.
    std::unique_ptr<AppModel> signedInModel()
    {
        auto model = std::make_unique<AppModel>(
            clientSetup(m_dir.filePath(u"client%1.conf"_s.arg(++m_clients)), m_server->httpUrl(),
                m_server->wsUrl(), &m_display));
        if (!waitUntil([&] { return model->user() && !model->working(); }, 15000)) {
            qWarning("the session restore did not finish: %s", qPrintable(model->message()));
        }
        return model;
    }

    static std::unique_ptr<ControlView> shownView(AppModel &model)
    {
        auto view = std::make_unique<ControlView>(model);
        view->resize(380, 700);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qWarning("the controls view was not exposed");
        return view;
    }

    static QStringList visibleSections(const ControlView &view)
    {
        QStringList shown;
        for (const QString &name : allSections) {
            const auto *section = view.findChild<QWidget *>(name);
            if (section && section->isVisibleTo(view.widget()))
                shown.append(name);
        }
        return shown;
    }

    template <typename T> static T *child(const QObject &parent, const QString &name)
    {
        T *found = parent.findChild<T *>(name);
        if (!found)
            qWarning("no child named %s", qPrintable(name));
        return found;
    }

    // On its box: the widget may be wider than its text, and a click beside that misses.
    static void clickCheckBox(QCheckBox *box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    // A room state of the signed-in player with these other members.
    static Snapshot roomWith(const AppModel &model, const QList<Member> &others)
    {
        Snapshot snapshot;
        snapshot.room.id = 41;
        snapshot.room.name = u"Lobby"_s;
        snapshot.room.inviteCode = u"ABCDEFGH2345"_s;
        if (model.user())
            snapshot.members.append({ model.user()->id, model.user()->name, u"ONLINE"_s });
        snapshot.members += others;
        return snapshot;
    }

    // Creates a room through the window and waits until its state is shown.
    static void createRoomThroughWindow(AppModel &model, ControlView &view, const QString &name)
    {
        child<QLineEdit>(view, u"roomName"_s)->clear();
        QTest::keyClicks(child<QLineEdit>(view, u"roomName"_s), name);
        QTest::mouseClick(child<QPushButton>(view, u"createRoom"_s), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return model.snapshot() && model.snapshot()->room.name == name; }));
    }

private Q_SLOTS:
    // A fresh server each time: the session kept for a server's address is its one player.
    void init()
    {
        m_server = std::make_unique<TestServer>();
        QVERIFY2(m_server->start(), qPrintable(m_server->errorText()));
    }

    void roomsAreCreatedAndChosen()
    {
        auto model = signedInModel();
        auto view = shownView(*model);
        QCOMPARE(visibleSections(*view),
            (QStringList { u"header"_s, u"player"_s, u"roomChooser"_s, u"welcome"_s, u"message"_s,
                u"serverSettings"_s, u"footer"_s }));
        auto *rooms = child<QComboBox>(*view, u"roomPicker"_s);
        QCOMPARE(rooms->currentText(), u"Choose room"_s);
        QCOMPARE(child<QLabel>(*view, u"message"_s)->text(),
            u"Create a room or enter a secret Room ID to join."_s);
        QCOMPARE(child<QLabel>(*view, u"playerNumber"_s)->text(),
            u"Player #"_s + QString::number(model->user()->id));
        QVERIFY(!child<QWidget>(*view, u"restoreProgress"_s)->isVisibleTo(view.get()));
        // The secret Room ID is not shown as typed.
        QCOMPARE(child<QLineEdit>(*view, u"invite"_s)->echoMode(), QLineEdit::Password);

        createRoomThroughWindow(*model, *view, u"First"_s);
        QCOMPARE(visibleSections(*view),
            (QStringList { u"header"_s, u"player"_s, u"roomChooser"_s, u"room"_s, u"contacts"_s,
                u"send"_s, u"scores"_s, u"leave"_s, u"pomodoro"_s, u"switches"_s, u"message"_s,
                u"serverSettings"_s, u"footer"_s }));
        // Alone in the room: nobody can receive the ball.
        QCOMPARE(child<QLabel>(*view, u"availableCount"_s)->text(), u"0 available"_s);
        QVERIFY(child<QLabel>(*view, u"noContacts"_s)->isVisibleTo(view.get()));
        // The channel subscribes and the header turns green.
        QVERIFY(waitUntil([&] { return model->connected(); }, 15000));
        QCOMPARE(child<QLabel>(*view, u"connectionStatus"_s)->toolTip(), u"Connected"_s);
        QTest::mouseClick(child<QPushButton>(*view, u"copyRoomId"_s), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), model->snapshot()->room.inviteCode);

        createRoomThroughWindow(*model, *view, u"Second"_s);
        QCOMPARE(rooms->count(), 3);
        QCOMPARE(rooms->currentText(), u"Second"_s);
        const int first = rooms->findText(u"First"_s);
        rooms->setCurrentIndex(first);
        emit rooms->activated(first);
        QVERIFY(waitUntil(
            [&] { return model->snapshot() && model->snapshot()->room.name == u"First"_s; }));
        QCOMPARE(child<QLabel>(*view, u"roomTitle"_s)->text(), u"First"_s);
        // "Choose room" is not a room: choosing it changes nothing.
        rooms->setCurrentIndex(0);
        emit rooms->activated(0);
        QCOMPARE(model->snapshot()->room.name, u"First"_s);
    }

    void contactRowsFollowTheMembersStatus_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("holdsBall");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("online") << u"ONLINE"_s << false << u"Available"_s
                                << QColor(0x34, 0xC7, 0x59);
        QTest::newRow("online with the ball")
            << u"ONLINE"_s << true << u"Available · Has the ball"_s << QColor(0x34, 0xC7, 0x59);
        QTest::newRow("busy") << u"BUSY"_s << false << u"Busy · playing a round"_s
                              << QColor(0xFF, 0x95, 0x00);
        QTest::newRow("do not disturb")
            << u"DO_NOT_DISTURB"_s << false << u"Do not disturb"_s << QColor(0xFF, 0x3B, 0x30);
        QTest::newRow("unknown word")
            << u"online"_s << false << u"Offline"_s << QColor(0x8E, 0x8E, 0x93);
    }
    void contactRowsFollowTheMembersStatus()
    {
        QFETCH(QString, status);
        QFETCH(bool, holdsBall);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        const Member grace { 900, u"Grace"_s, status };
        QCOMPARE(ContactsSection::statusText(grace, holdsBall), text);
        QCOMPARE(ContactsSection::statusColour(grace), colour);
    }

    // The room's column over a state of other members, then each of its switches.
    void roomColumnFollowsTheState()
    {
        auto model = signedInModel();
        auto view = shownView(*model);
        QCoro::waitFor(model->apply(roomWith(*model,
            { { 901, u"Busy Bee"_s, u"BUSY"_s }, { 902, u"Ada"_s, u"ONLINE"_s },
                { 903, u"Dee"_s, u"DO_NOT_DISTURB"_s }, { 904, u"Bob"_s, u"ONLINE"_s } })));
        QStringList order;
        for (QWidget *row : child<QWidget>(*view, u"contacts"_s)
                                ->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (row->objectName().startsWith(u"contact"_s)
                || row->objectName() == u"currentlyUnavailable"_s)
                order.append(row->objectName());
        }
        // The player is never a contact of their own.
        QCOMPARE(order,
            (QStringList { u"contact-902"_s, u"contact-904"_s, u"currentlyUnavailable"_s,
                u"contact-901"_s, u"contact-903"_s }));
        QCOMPARE(child<QLabel>(*view, u"availableCount"_s)->text(), u"2 available"_s);
        auto *ada = child<QWidget>(*view, u"contact-902"_s);
        QCOMPARE(child<QLabel>(*ada, u"contactName"_s)->text(), u"Ada"_s);
        auto *status = child<QLabel>(*ada, u"contactStatus"_s);
        QCOMPARE(status->text(), u"Available"_s);
        QCOMPARE(status->palette().color(QPalette::WindowText), QColor(0x34, 0xC7, 0x59));
        auto *sendAda = child<QToolButton>(*ada, u"sendBall"_s);
        QCOMPARE(sendAda->toolTip(), u"Send the ball to Ada"_s);
        // Only an available contact can be sent the ball.
        QVERIFY(!child<QWidget>(*view, u"contact-901"_s)->findChild<QToolButton *>());

        // The reasons themselves are SendGate's; the window shows its answer on both buttons.
        auto *send = child<QPushButton>(*view, u"sendButton"_s);
        QVERIFY(!send->isEnabled() && !sendAda->isEnabled());
        QCOMPARE(send->text(), u"Send to random player"_s);
        QCOMPARE(child<QLabel>(*view, u"sendBlockReason"_s)->text(), u"Connecting to room…"_s);
        QVERIFY(child<QLabel>(*view, u"sendBlockReason"_s)->isVisibleTo(view.get()));

        auto *receivers = child<QComboBox>(*view, u"receiverPicker"_s);
        QCOMPARE(receivers->itemText(0), u"Random online player"_s);
        const int index = receivers->findData(qint64(902));
        QCOMPARE(receivers->itemText(index), u"Ada #902"_s);
        receivers->setCurrentIndex(index);
        emit receivers->activated(index);
        QCOMPARE(model->selectedReceiver(), 902);
        QCOMPARE(send->text(), u"Send to Ada"_s);
        // Set elsewhere, the picker follows.
        model->setSelectedReceiver(0);
        QCOMPARE(receivers->currentIndex(), 0);

        auto *toggle = child<QCheckBox>(*view, u"pomodoroSwitch"_s);
        QCOMPARE(toggle->text(), u"Pomodoro · 30 min work / 5 min play"_s);
        QVERIFY(!child<QWidget>(*view, u"pomodoroClock"_s)->isVisibleTo(view.get()));

        clickCheckBox(toggle);
        QVERIFY(model->pomodoro().enabled);
        QVERIFY(model->focusActive());
        auto *clock = child<QLabel>(*view, u"pomodoroClock"_s);
        QVERIFY(clock->isVisibleTo(view.get()));
        QCOMPARE(clock->text(), model->pomodoroClockText());
        QCOMPARE(child<QLabel>(*view, u"pomodoroPhase"_s)->text(),
            u"Focus mode · incoming balls blocked"_s);
        auto *takeBreak = child<QPushButton>(*view, u"takeBreak"_s);
        QVERIFY(takeBreak->isVisibleTo(view.get()));
        QVERIFY(!child<QPushButton>(*view, u"backToFocus"_s)->isVisibleTo(view.get()));

        QTest::mouseClick(takeBreak, Qt::LeftButton);
        QVERIFY(!model->focusActive());
        QCOMPARE(child<QLabel>(*view, u"pomodoroPhase"_s)->text(),
            u"Game break · send to an available contact"_s);
        auto *backToFocus = child<QPushButton>(*view, u"backToFocus"_s);
        QVERIFY(backToFocus->isVisibleTo(view.get()));
        QTest::mouseClick(backToFocus, Qt::LeftButton);
        QVERIFY(model->focusActive());

        clickCheckBox(toggle);
        QVERIFY(!model->pomodoro().enabled);
        QVERIFY(!clock->isVisibleTo(view.get()));
        // Each switch is bound to the coordinator's property both ways.
        for (const char *name : { "paused", "hidden", "sound" }) {
            auto *box = child<QCheckBox>(*view, QString::fromLatin1(name) + u"Switch"_s);
            const bool before = model->property(name).toBool();
            QCOMPARE(box->isChecked(), before);
            clickCheckBox(box);
            QCOMPARE(model->property(name).toBool(), !before);
            model->setProperty(name, before);
            QCOMPARE(box->isChecked(), before);
        }
    }

    // Two players on the real server; the window is the holder's.
    void sendingFromTheWindowPassesTheBall_data()
    {
        QTest::addColumn<bool>("fromContactRow");
        QTest::newRow("send button, random receiver") << false;
        QTest::newRow("the contact's own button") << true;
    }
    void sendingFromTheWindowPassesTheBall()
    {
        QFETCH(bool, fromContactRow);
        const QString port = QString::number(m_server->httpUrl().port());
        const QString key = QString::fromLatin1(TestServer::appKey);
        // Two server texts for one server: each player keeps a session of their own.
        ScenePlayer holder(u"http://127.0.0.1:"_s + port, u"ws://127.0.0.1:"_s + port, key);
        ScenePlayer receiver(u"http://localhost:"_s + port, u"ws://localhost:"_s + port, key);
        QVERIFY(holder.waitSignedIn());
        QVERIFY(receiver.waitSignedIn());
        auto view = shownView(holder.model());
        createRoomThroughWindow(holder.model(), *view, u"Passing"_s);
        QVERIFY(holder.waitConnected());
        QCoro::waitFor(receiver.model().joinRoom(holder.model().snapshot()->room.inviteCode));
        QVERIFY(receiver.waitConnected());
        QVERIFY(holder.waitForMemberStatus(receiver.id(), u"ONLINE"_s));

        auto *send = child<QPushButton>(*view, u"sendButton"_s);
        QVERIFY(waitUntil([&] { return send->isEnabled(); }));
        if (fromContactRow) {
            auto *row = child<QWidget>(*view, u"contact-"_s + QString::number(receiver.id()));
            auto *button = child<QToolButton>(*row, u"sendBall"_s);
            QVERIFY(button->isEnabled());
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(holder.model().selectedReceiver(), receiver.id());
        } else {
            QTest::mouseClick(send, Qt::LeftButton);
        }
        QVERIFY(waitUntil([&] {
            const auto &snapshot = receiver.model().snapshot();
            return snapshot && snapshot->round && snapshot->round->receiverId == receiver.id();
        }));
        // Without a throw of the holder's own, the ball enters at the right edge.
        const Entry entry = receiver.model().snapshot()->round->entry;
        QCOMPARE(entry, (Entry { 1.0, 0.45, 0.55, 0.35 }));
        // The holder's window now says why no second ball can go.
        QVERIFY(waitUntil([&] { return !send->isEnabled(); }));
    }

    // Each control of the room's column asks the coordinator once; deleting waits for consent.
    void roomControlsReachTheCoordinator()
    {
        auto model = signedInModel();
        auto view = shownView(*model);
        createRoomThroughWindow(*model, *view, u"Controls"_s);
        m_display->calls.clear();
        auto *screens = child<QComboBox>(*view, u"screenPicker"_s);
        const int last = screens->count() - 1;
        screens->setCurrentIndex(last);
        emit screens->activated(last);
        QCOMPARE(m_display->calls.filter(u"move"_s), QStringList { u"move %1"_s.arg(last) });

        QTest::mouseClick(child<QPushButton>(*view, u"copyInvitation"_s), Qt::LeftButton);
        QVERIFY(model->inviteBase());
        QCOMPARE(QGuiApplication::clipboard()->text(),
            *model->inviteBase() + u'#' + model->snapshot()->room.inviteCode);

        // Connect starts a session restore; it ends by itself.
        QSignalSpy working(model.get(), &AppModel::workingChanged);
        QTest::mouseClick(child<QPushButton>(*view, u"connect"_s), Qt::LeftButton);
        QCOMPARE(working.size(), 1);
        QVERIFY(waitUntil([&] { return !model->working(); }));

        for (const QString &answer : { u"cancelDelete"_s, u"confirmDelete"_s }) {
            QTest::mouseClick(child<QPushButton>(*view, u"deleteRoom"_s), Qt::LeftButton);
            QMessageBox *dialog = child<LeaveSection>(*view, u"leave"_s)->deleteConfirmation();
            QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog));
            QTest::mouseClick(child<QPushButton>(*dialog, answer), Qt::LeftButton);
            QVERIFY(waitUntil([&] { return !dialog->isVisible(); }));
            if (answer == u"cancelDelete"_s) {
                // Nothing was sent: the server still lists the room.
                QCOMPARE(QCoro::waitFor(model->loadRooms()), std::nullopt);
                QCOMPARE(model->rooms().size(), 1);
            }
        }
        QVERIFY(waitUntil([&] { return !model->snapshot() && model->rooms().isEmpty(); }));
        QVERIFY(waitUntil([&] { return visibleSections(*view).contains(u"welcome"_s); }));

        createRoomThroughWindow(*model, *view, u"Left"_s);
        QTest::mouseClick(child<QPushButton>(*view, u"leaveRoom"_s), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return !model->snapshot(); }));
        QCOMPARE(QCoro::waitFor(model->loadRooms()), std::nullopt);
        QVERIFY(model->rooms().isEmpty());
    }

    void scoreLines_data()
    {
        QTest::addColumn<QList<Score>>("scores");
        QTest::addColumn<std::optional<Totals>>("totals");
        QTest::addColumn<std::optional<QString>>("room");
        QTest::addColumn<std::optional<QString>>("all");
        const Score mine { 7, 3, 4, 1, 2 };
        const Score theirs { 8, 9, 9, 0, 9 };
        QTest::newRow("neither") << QList<Score> { theirs } << std::optional<Totals>()
                                 << std::optional<QString>() << std::optional<QString>();
        QTest::newRow("both, the player's own score picked")
            << QList<Score> { theirs, mine } << std::optional<Totals>(Totals { 10, 5, 5, 3 })
            << std::optional<QString>(
                   u"Room: received 4 · Scored 3 · Timed out 1\nSuccess 75% · Best streak 2"_s)
            << std::optional<QString>(
                   u"All rooms: received 10 · 5 points · 5 timeouts · 50% · best 3"_s);
    }
    void scoreLines()
    {
        QFETCH(QList<Score>, scores);
        QFETCH(std::optional<Totals>, totals);
        QFETCH(std::optional<QString>, room);
        QFETCH(std::optional<QString>, all);
        Snapshot snapshot;
        snapshot.scores = scores;
        snapshot.totals = totals;
        QCOMPARE(ScoresSection::roomLine(snapshot, 7), room);
        QCOMPARE(ScoresSection::totalsLine(snapshot), all);
    }

    // Without a server: saved hits, an invitation waiting for consent, quitting, the server
    // settings.
    void offlineControls()
    {
        const QDateTime when(QDate(2030, 5, 6), QTime(9, 30), QTimeZone::utc());
        const QString path = m_dir.filePath(u"offline.conf"_s);
        Preferences preferences(path);
        preferences.setBasketResults(SavedBasketResult::listToJson(
            { { QUuid::createUuid(), when, u"http://h"_s, u"Lobby"_s, false },
                { QUuid::createUuid(), when, u"http://h"_s, u""_s, true } }));
        preferences.setLastBasketResult(u"Попадание · +1"_s);
        // Nothing listens at port 1.
        auto model = std::make_unique<AppModel>(clientSetup(
            path, QUrl(u"http://127.0.0.1:1"_s), QUrl(u"ws://127.0.0.1:1"_s), &m_display));
        QVERIFY(waitUntil([&] { return !model->working() && !model->message().isEmpty(); }));
        auto view = shownView(*model);
        QCOMPARE(child<QLabel>(*view, u"lastResult"_s)->text(),
            u"Последний результат: Попадание · +1"_s);
        auto *toggle = child<QToolButton>(*child<QWidget>(*view, u"hitHistory"_s), u"disclosure"_s);
        QCOMPARE(toggle->text(), u"История попаданий (2)"_s);
        const QString date = DateText::abbreviatedDateTime(when, QLocale::system());
        QStringList shown;
        for (const QLabel *line :
            child<Disclosure>(*view, u"hitHistory"_s)->body()->findChildren<QLabel *>())
            shown.append(line->text());
        QCOMPARE(
            shown, (QStringList { u"+1 · Lobby · "_s + date, u"+1 · Тренировка · "_s + date }));

        QVERIFY(!visibleSections(*view).contains(u"invitation"_s));
        model->handleInvitation(
            u"tosswick://join?room=ABCDEFGH&api=http://games.example:8088&ws=ws://games.example:8088&key=desk-hoops-sample"_s);
        QVERIFY(visibleSections(*view).contains(u"invitation"_s));
        QCOMPARE(child<QLabel>(*view, u"invitationServer"_s)->text(),
            u"Server: http://games.example:8088"_s);
        // The answer is one key away: "Join room" has the focus.
        QCOMPARE(view->focusWidget(), child<QWidget>(*view, u"acceptInvitation"_s));
        QPushButton *cancel = nullptr;
        for (auto *button : child<QWidget>(*view, u"invitation"_s)->findChildren<QPushButton *>()) {
            if (button->text() == u"Cancel"_s)
                cancel = button;
        }
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(!model->pendingInvitation());
        QVERIFY(!visibleSections(*view).contains(u"invitation"_s));

        // Quitting stops the network first, which hides the overlay.
        QSignalSpy quit(view.get(), &ControlView::quitRequested);
        m_display->calls.clear();
        QTest::mouseClick(child<QPushButton>(*view, u"quit"_s), Qt::LeftButton);
        QCOMPARE(quit.size(), 1);
        QCOMPARE(m_display->calls, QList<QString> { u"show false"_s });

        auto *server = child<QLineEdit>(*view, u"serverUrl"_s);
        QVERIFY(!server->isVisibleTo(view.get()));
        QCOMPARE(server->text(), u"http://127.0.0.1:1"_s);
        QTest::mouseClick(
            child<QToolButton>(*child<QWidget>(*view, u"serverSettings"_s), u"disclosure"_s),
            Qt::LeftButton);
        QVERIFY(server->isVisibleTo(view.get()));
        server->selectAll();
        QTest::keyClicks(server, u"http://other.example"_s);
        QCOMPARE(model->server(), u"http://other.example"_s);
        model->setAppKey(u"k2"_s);
        QCOMPARE(child<QLineEdit>(*view, u"appKey"_s)->text(), u"k2"_s);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ControlViewTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "ControlViewTest.moc"
