#pragma once

#include "model/AppModel.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>

class QMenu;
class QSystemTrayIcon;

// The program's permanent parts: the one coordinator, the tray entry with its popup, and the
// controls window that comes and goes (closing it only hides it). Without a system tray the
// program still runs; the controls window shown at launch is then the way in.
class ApplicationShell : public QObject {
    Q_OBJECT
public:
    explicit ApplicationShell(AppModel::Setup setup, QObject *parent = nullptr);
    ~ApplicationShell() override;

    AppModel &model() { return *m_model; }

    // Launch finished: hits hand focus back from now on, and the controls window shows.
    void launched();
    // Join links opened by the system or handed over by a second start: each becomes the
    // pending invitation (the last valid one stays) or the message "Invalid room invitation";
    // then the controls window comes forward.
    void openLinks(const QStringList &links);
    // Brings the overlay back if a hit had dismissed it, and the controls window to the front.
    void showControls();
    // Ends the program: tells the coordinator, then leaves the event loop once the notice to
    // the server had a moment to go out.
    void quit();

    QWidget *controls() const { return m_controls; }
    QWidget *trayPopup() const { return m_popup; }

private:
    // The windows step aside (after a hit, and when quitting) so focus goes back to the user.
    void hideWindows();
    void showTrayPopup();
    void shutdown();

    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<QMenu> m_trayMenu;
    QSystemTrayIcon *m_tray;
    QPointer<QWidget> m_controls;
    QPointer<QWidget> m_popup;
    bool m_shutDown = false;
};
