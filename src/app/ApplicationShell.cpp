#include "ApplicationShell.h"

#include "BasketballIcon.h"

#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QWidget>

using namespace Qt::StringLiterals;

ApplicationShell::ApplicationShell(QObject *parent)
    : QObject(parent)
    , m_trayMenu(std::make_unique<QMenu>())
    , m_tray(std::make_unique<QSystemTrayIcon>(BasketballIcon::icon()))
{
    QApplication::setWindowIcon(BasketballIcon::icon());
    m_trayMenu->addAction(u"Open controls window"_s, this, &ApplicationShell::showControls);
    m_trayMenu->addAction(u"Quit"_s, qApp, &QApplication::quit);
    m_tray->setToolTip(u"Tosswick"_s);
    m_tray->setContextMenu(m_trayMenu.get());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            showControls();
    });
    m_tray->show();
}

ApplicationShell::~ApplicationShell()
{
    delete m_controls;
}

void ApplicationShell::launched()
{
    showControls();
}

void ApplicationShell::openLinks(const QStringList &links)
{
    Q_UNUSED(links);
    showControls();
}

void ApplicationShell::showControls()
{
    if (!m_controls) {
        auto *window = new QWidget;
        window->setWindowTitle(u"TOSSWICK"_s);
        window->setFixedSize(380, 700);
        window->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window->size(),
                                                QGuiApplication::primaryScreen()->availableGeometry()));
        m_controls = window;
    }
    m_controls->show();
    m_controls->raise();
    m_controls->activateWindow();
}
