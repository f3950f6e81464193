#pragma once

#include "model/CancelFlag.h"
#include "model/Preferences.h"
#include "model/RoomInvitation.h"
#include "model/SavedBasketResult.h"
#include "wire/CrossingSample.h"
#include "wire/Entry.h"
#include "net/NetworkError.h"
#include "wire/Player.h"
#include "wire/Room.h"
#include "wire/Snapshot.h"
#include "pomodoro/PomodoroCycle.h"
#include "pomodoro/PomodoroState.h"
#include "scene/GameDisplay.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class API;
class LogindWatcher;
class QNetworkAccessManager;
class Realtime;

// The game coordinator: the one object that holds everything the controls window shows, the
// guest session, the current room and its network activity, the pomodoro cycle and the local
// history of hits. It lives on the main thread for the life of the program.
//
// Operations that wait for the server are coroutines bound to the main thread; a window may
// start one and drop the task (it runs to its end), tests await them. Failures never leave
// it: each sets `message` to a line the player can read and leaves the model consistent.
// Every callback, timer and observer holds the coordinator weakly, and every coroutine checks
// after each suspension that the coordinator still exists.
//
// Its operations are spread over several source files: start-up, session and settings
// (AppModel.cpp), rooms and invitations (AppModelRooms.cpp), heartbeat, sync and snapshots
// (AppModelSync.cpp), ball transfer and scoring (AppModelTransfer.cpp), and the pomodoro
// operations (AppModelPomodoro.cpp, over the PomodoroCycle of src/pomodoro).
class AppModel : public QObject {
    Q_OBJECT

    Q_PROPERTY(std::optional<Player> user READ user NOTIFY userChanged)
    Q_PROPERTY(QList<Room> rooms READ rooms NOTIFY roomsChanged)
    Q_PROPERTY(std::optional<Snapshot> snapshot READ snapshot NOTIFY snapshotChanged)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(QString lastResult READ lastResult NOTIFY lastResultChanged)
    Q_PROPERTY(QList<SavedBasketResult> savedResults READ savedResults NOTIFY savedResultsChanged)
    Q_PROPERTY(bool connected READ connected NOTIFY connectedChanged)
    Q_PROPERTY(bool working READ working NOTIFY workingChanged)
    Q_PROPERTY(std::optional<RoomInvitation> pendingInvitation READ pendingInvitation WRITE
            setPendingInvitation NOTIFY pendingInvitationChanged)
    Q_PROPERTY(std::optional<QString> inviteBase READ inviteBase NOTIFY inviteBaseChanged)
    Q_PROPERTY(qint64 selectedReceiver READ selectedReceiver WRITE setSelectedReceiver NOTIFY
            selectedReceiverChanged)
    Q_PROPERTY(bool paused READ paused WRITE setPaused NOTIFY pausedChanged)
    Q_PROPERTY(bool hidden READ hidden WRITE setHidden NOTIFY hiddenChanged)
    Q_PROPERTY(bool sound READ sound WRITE setSound NOTIFY soundChanged)
    Q_PROPERTY(PomodoroState pomodoro READ pomodoro NOTIFY pomodoroChanged)
    Q_PROPERTY(int screenIndex READ screenIndex WRITE setScreenIndex NOTIFY screenIndexChanged)
    Q_PROPERTY(QString server READ server WRITE setServer NOTIFY serverChanged)
    Q_PROPERTY(QString websocket READ websocket WRITE setWebsocket NOTIFY websocketChanged)
    Q_PROPERTY(QString appKey READ appKey WRITE setAppKey NOTIFY appKeyChanged)
    Q_PROPERTY(bool sending READ sending NOTIFY sendingChanged)
    // The current room, for the room picker.
    Q_PROPERTY(std::optional<qint64> roomID READ roomID NOTIFY roomIDChanged)
    // Derived: they change with the pomodoro (every tick) and with the send state.
    Q_PROPERTY(bool focusActive READ focusActive NOTIFY pomodoroChanged)
    Q_PROPERTY(QString pomodoroClockText READ pomodoroClockText NOTIFY pomodoroChanged)
    Q_PROPERTY(QString sendButtonTitle READ sendButtonTitle NOTIFY sendButtonTitleChanged)

public:
    // What the program's environment gives the coordinator; tests replace each part.
    struct Setup {
        QString preferencesPath = Preferences::defaultPath();
        // Wall-clock time for the pomodoro, hit dates and the server clock offset.
        PomodoroCycle::Clock now = [] { return QDateTime::currentDateTimeUtc(); };
        // Where systemd-logind announces sleep and session switches.
        QDBusConnection logindBus = QDBusConnection::systemBus();
        // The overlay and its scene, made by the program's shell; never empty.
        std::unique_ptr<GameDisplay> display;

        // The clock and waits of the room's network activity.
        struct Timing {
            // The monotonic clock that the channel's pongs are timed on; tests move it.
            std::function<std::chrono::steady_clock::time_point()> monotonicNow
                = [] { return std::chrono::steady_clock::now(); };
            // Tests shorten or lengthen these; the program keeps 3 seconds.
            std::chrono::milliseconds heartbeatPeriod { 3000 };
            std::chrono::milliseconds reconnectDelay { 3000 };
        };
        Timing timing;
    };

    explicit AppModel(Setup setup, QObject *parent = nullptr);
    ~AppModel() override;

    // Observable state.
    const std::optional<Player> &user() const { return m_user; }
    const QList<Room> &rooms() const { return m_rooms; }
    const std::optional<Snapshot> &snapshot() const { return m_snapshot; }
    const QString &message() const { return m_message; }
    void setMessage(const QString &message);
    const QString &lastResult() const { return m_lastResult; }
    const QList<SavedBasketResult> &savedResults() const { return m_savedResults; }
    bool connected() const { return m_connected; }
    bool working() const { return m_working; }
    const std::optional<RoomInvitation> &pendingInvitation() const { return m_pendingInvitation; }
    // The controls window clears it when the user cancels the invitation.
    void setPendingInvitation(const std::optional<RoomInvitation> &invitation);
    const std::optional<QString> &inviteBase() const { return m_inviteBase; }
    qint64 selectedReceiver() const { return m_selectedReceiver; }
    // Stores it and refreshes the overlay.
    void setSelectedReceiver(qint64 receiver);
    bool paused() const { return m_paused; }
    // Stores it, refreshes the overlay and tells the server the new availability at once.
    void setPaused(bool paused);
    bool hidden() const { return m_hidden; }
    // As setPaused.
    void setHidden(bool hidden);
    bool sound() const { return m_sound; }
    void setSound(bool sound);
    const PomodoroState &pomodoro() const { return m_pomodoro.state(); }
    int screenIndex() const { return m_screenIndex; }
    // Stores it, moves the overlay to that screen, then refreshes the overlay.
    void setScreenIndex(int index);
    // Connection settings as edited; saveConnection() checks, applies and stores them.
    const QString &server() const { return m_server; }
    void setServer(const QString &server);
    const QString &websocket() const { return m_websocket; }
    void setWebsocket(const QString &websocket);
    const QString &appKey() const { return m_appKey; }
    void setAppKey(const QString &appKey);
    bool sending() const { return m_sending; }

    // Internal state that the shell, the window and tests read.
    const API &api() const { return *m_api; }
    const Realtime &realtime() const { return *m_realtime; }
    std::optional<qint64> roomID() const { return m_roomID; }
    bool gameplayDismissed() const { return m_gameplayDismissed; }
    void setGameplayDismissed(bool dismissed) { m_gameplayDismissed = dismissed; }
    // Called when a success celebration ends; the application shell installs it.
    void setOnSuccess(std::function<void()> callback) { m_onSuccess = std::move(callback); }
    // The scene's last released throw, which a send from the controls window carries.
    std::optional<Entry> latestRelease() const;

    // Session and network.
    // Confirms the stored guest session (GET me) or makes a new one (POST guest), loads the
    // rooms and re-activates the player's active room. One at a time (`working`).
    QCoro::Task<> restore();
    // Opens the realtime channel of the current room when a player is signed in.
    // (Not named connect: that would hide QObject::connect.)
    void connectChannel();
    // Heartbeat, reconnection and channel stopped; not connected; overlay hidden.
    void stopNetwork();
    // The server no longer accepts the session: forget it and restore a new one.
    void expireSession();
    // The program ends: stop the network and tell the server, without waiting.
    void shutdown();

    // Rooms and invitations.
    // The player's rooms and the server's invitation address; the request's error, if any.
    QCoro::Task<std::optional<NetworkError>> loadRooms();
    QCoro::Task<> activate(qint64 roomID);
    // Checks the connection settings, switches to that server and its session, stores them.
    QCoro::Task<> saveConnection();
    // A join link, opened by the system or pasted: it waits for the user's consent.
    void handleInvitation(const QString &link);
    QCoro::Task<> acceptInvitation();
    // A Room ID (sent as typed) or a join link (which becomes the pending invitation).
    QCoro::Task<> joinRoom(QString code);
    // Puts the current room's invitation link on the clipboard.
    void copyInvitation();
    QCoro::Task<> createRoom(QString name);
    // Leaves the current room, or deletes it for everyone.
    QCoro::Task<> leave(bool deleteRoom);

    // Heartbeat, sync and snapshots.
    void startHeartbeat();
    QCoro::Task<> beat();
    QCoro::Task<> sync();
    QCoro::Task<> apply(Snapshot snapshot);
    void lostConnection();
    // Decides whether the overlay shows and hands the round to the scene.
    void refreshOverlay();

    // Ball transfer and scoring.
    // Why the ball cannot be sent to this receiver (0: a random available player) now; none
    // when it can.
    std::optional<QString> sendBlockReason(qint64 receiver) const;
    QString sendButtonTitle() const;
    QCoro::Task<> transfer(Entry entry);
    void registerShot(const QString &shotID, const Entry &release);
    QCoro::Task<> score(QString shotID, CrossingSample before, CrossingSample after);
    void finishSuccess(bool practice, const std::optional<QString> &roundID);
    // Drops a pending end of a success celebration (the controls window came back).
    void cancelSuccessTask();

    // Pomodoro.
    void setPomodoro(bool on);
    void startPomodoroBreak();
    void tickPomodoro();
    void persistPomodoro();
    QString pomodoroClockText() const { return m_pomodoro.clockText(); }
    bool focusActive() const { return m_pomodoro.focusActive(); }

Q_SIGNALS:
    void userChanged();
    void roomsChanged();
    void snapshotChanged();
    void messageChanged();
    void lastResultChanged();
    void savedResultsChanged();
    void connectedChanged();
    void workingChanged();
    void pendingInvitationChanged();
    void inviteBaseChanged();
    void selectedReceiverChanged();
    void pausedChanged();
    void hiddenChanged();
    void soundChanged();
    void pomodoroChanged();
    void screenIndexChanged();
    void serverChanged();
    void websocketChanged();
    void appKeyChanged();
    void sendingChanged();
    void sendButtonTitleChanged();
    void roomIDChanged();

private:
    // The system is going to sleep or the session switched away, and back.
    void goingAway();
    void comingBack();
    // The ready report for a round that waits for this player, then the room state again.
    QCoro::Task<> reportReady(qint64 room, QString roundID);
    // Posts to a REST path that answers with a room (join, create), reloads the rooms and
    // activates that room.
    QCoro::Task<> enterRoom(QString path, QJsonObject body);

    // Focus time, unless the round the player was playing when it began is still on.
    bool focusKeepsBallsAway() const { return focusActive() && !m_focusGraceRoundID; }

    // Runs work as a new task on the main thread, after the current one; not at all once the
    // coordinator is gone.
    void later(std::function<void()> work);
    // A REST path of a room: "rooms/{id}" followed by rest.
    static QString roomPath(qint64 room, const QString &rest);
    // One pass of the session restore with this REST client; false when the client was
    // replaced meanwhile (the settings changed), so the restore starts over with the new one.
    QCoro::Task<bool> restoreSession(std::shared_ptr<API> api);

    // Setters of state that only the coordinator changes; each notifies once per change.
    void setUser(const std::optional<Player> &user);
    void setRooms(const QList<Room> &rooms);
    void setSnapshot(const std::optional<Snapshot> &snapshot);
    void setConnected(bool connected);
    void setWorking(bool working);
    void setInviteBase(const std::optional<QString> &inviteBase);
    void setSending(bool sending);
    void setRoomID(std::optional<qint64> roomID);
    void setLastResult(const QString &text);
    void setSavedResults(const QList<SavedBasketResult> &results);
    // A new REST client for `server`; its token is read from the credential store by the next
    // restore.
    void replaceApi();

    QNetworkAccessManager &m_network;
    Preferences m_preferences;
    PomodoroCycle::Clock m_now;

    // In the order the state is set up at start-up.
    std::optional<Player> m_user;
    QList<Room> m_rooms;
    std::optional<Snapshot> m_snapshot;
    QString m_message;
    QString m_lastResult;
    QList<SavedBasketResult> m_savedResults;
    std::function<void()> m_onSuccess;
    bool m_gameplayDismissed = false;
    std::shared_ptr<CancelFlag> m_successTask;
    bool m_connected = false;
    bool m_working = false;
    std::optional<RoomInvitation> m_pendingInvitation;
    std::optional<QString> m_inviteBase;
    qint64 m_selectedReceiver = 0;
    bool m_paused = false;
    bool m_hidden = false;
    bool m_sound = true;
    PomodoroCycle m_pomodoro;
    QTimer m_pomodoroTicker;
    std::optional<QString> m_focusGraceRoundID;
    int m_screenIndex = 0;
    QString m_server;
    QString m_websocket;
    QString m_appKey;
    std::shared_ptr<API> m_api;
    // The REST client's token has not been read from the credential store yet.
    bool m_tokenPending = true;
    std::unique_ptr<Realtime> m_realtime;
    std::unique_ptr<GameDisplay> m_display;
    std::optional<qint64> m_roomID;
    std::shared_ptr<CancelFlag> m_heartbeat;
    // Counts the stops and losses of the room's network activity: a heartbeat that fails after
    // one speaks of a channel that is gone.
    quint64 m_networkEpoch = 0;
    std::shared_ptr<CancelFlag> m_retry;
    // Invalid until the first snapshot: before any server time.
    QDateTime m_lastSnapshotTime;
    bool m_syncing = false;
    std::optional<QString> m_readyID;
    bool m_sending = false;
    double m_offset = 0;
    qint64 m_sequence = 0;
    std::optional<QString> m_currentRoundID;
    std::unique_ptr<LogindWatcher> m_logind;
    Setup::Timing m_timing;
    // Shot registrations under way or done in the current round, by shot id; each ends with
    // the request's error, if any. Shared, so that a score waiting for one outlives the map.
    QHash<QString, std::shared_ptr<QCoro::Task<std::optional<NetworkError>>>> m_shotJobs;
};
