#include "ApplicationShell.h"

#include "BasketballIcon.h"
#include "controls/ControlView.h"
#include "overlay/OverlayDisplay.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
const QSize controlsSize(380, 700);
// How long a quitting program keeps its event loop for the disconnect notice to leave.
constexpr std::chrono::milliseconds disconnectGrace { 1500 };

// The overlay over the desktop, unless the caller brings a display of its own.
AppModel::Setup withDisplay(AppModel::Setup setup)
{
    if (!setup.display)
        setup.display = std::make_unique<OverlayDisplay>();
    return setup;
}
} // namespace

ApplicationShell::ApplicationShell(AppModel::Setup setup, QObject *parent)
    : QObject(parent)
    , m_model(std::make_unique<AppModel>(withDisplay(std::move(setup))))
    , m_trayMenu(std::make_unique<QMenu>())
    , m_tray(new QSystemTrayIcon(BasketballIcon::icon(), this))
{
    QApplication::setWindowIcon(BasketballIcon::icon());
    // The program lives on without windows: closing the controls window only hides it.
    QApplication::setQuitOnLastWindowClosed(false);
    m_trayMenu->addAction(u"Open controls window"_s, this, &ApplicationShell::showControls);
    m_trayMenu->addAction(u"Quit"_s, this, &ApplicationShell::quit);
    m_tray->setToolTip(u"Tosswick"_s);
    m_tray->setContextMenu(m_trayMenu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                showTrayPopup();
        });
    m_tray->show();
    // However the program ends (the session closes, a signal), the server hears of it.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ApplicationShell::shutdown);
}

ApplicationShell::~ApplicationShell()
{
    delete m_popup;
    delete m_controls;
}

void ApplicationShell::launched()
{
    QPointer self(this);
    m_model->setOnSuccess([self] {
        if (self)
            self->hideWindows();
    });
    showControls();
}

void ApplicationShell::openLinks(const QStringList &links)
{
    for (const QString &link : links)
        m_model->handleInvitation(link);
    showControls();
}

void ApplicationShell::showControls()
{
    m_model->cancelSuccessTask();
    m_model->setGameplayDismissed(false);
    m_model->refreshOverlay();
    if (m_popup)
        m_popup->hide();
    if (!m_controls) {
        auto *view = new ControlView(*m_model);
        view->setWindowTitle(u"TOSSWICK"_s);
        view->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
        view->setFixedSize(controlsSize);
        view->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, controlsSize,
            QGuiApplication::primaryScreen()->availableGeometry()));
        connect(view, &ControlView::quitRequested, this, &ApplicationShell::quit);
        m_controls = view;
    }
    m_controls->show();
    m_controls->raise();
    m_controls->activateWindow();
}

void ApplicationShell::showTrayPopup()
{
    if (!m_popup) {
        auto *popup = new QWidget(nullptr, Qt::Popup);
        popup->setObjectName(u"trayPopup"_s);
        auto *open = new QPushButton(u"Open controls window"_s, popup);
        open->setObjectName(u"openControls"_s);
        connect(open, &QPushButton::clicked, this, &ApplicationShell::showControls);
        auto *view = new ControlView(*m_model, popup);
        connect(view, &ControlView::quitRequested, this, &ApplicationShell::quit);
        auto *layout = new QVBoxLayout(popup);
        layout->setContentsMargins(0, 10, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(open, 0, Qt::AlignHCenter);
        layout->addWidget(view);
        popup->resize(controlsSize);
        m_popup = popup;
    }
    // Beside the tray icon, kept on the screen it is on.
    const QRect icon = m_tray->geometry();
    const QScreen *screen = QGuiApplication::screenAt(icon.center());
    const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    QRect frame(QPoint(icon.left(), icon.bottom() + 1), m_popup->size());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(icon.top() - 1);
    frame.moveLeft(qBound(area.left(), frame.left(), area.right() - frame.width()));
    frame.moveTop(qBound(area.top(), frame.top(), area.bottom() - frame.height()));
    m_popup->setGeometry(frame);
    m_popup->show();
}

void ApplicationShell::hideWindows()
{
    if (m_controls)
        m_controls->hide();
    if (m_popup)
        m_popup->hide();
}

void ApplicationShell::quit()
{
    const bool notifies = m_model->roomID().has_value();
    shutdown();
    hideWindows();
    if (notifies)
        QTimer::singleShot(disconnectGrace, qApp, &QCoreApplication::quit);
    else
        QCoreApplication::quit();
}

void ApplicationShell::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_model->shutdown();
}
