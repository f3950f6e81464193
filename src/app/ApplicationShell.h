#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>

class QMenu;
class QSystemTrayIcon;


// The program's permanent parts: the tray entry and the controls window that comes and goes.
class ApplicationShell : public QObject
{
    Q_OBJECT
public:
    explicit ApplicationShell(QObject *parent = nullptr);
    ~ApplicationShell() override;

    // Launch finished: show the controls window.
    void launched();
    // Links opened by the system or handed over by a second start; the window comes forward.
    void openLinks(const QStringList &links);
    void showControls();

    QWidget *controls() const { return m_controls; }

private:
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QPointer<QWidget> m_controls;
};
