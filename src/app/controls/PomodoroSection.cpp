#include "PomodoroSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

PomodoroSection::PomodoroSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"pomodoro"_s, parent)
    , m_enabled(new QCheckBox(u"Pomodoro · 30 min work / 5 min play"_s, this))
    , m_running(new QWidget(this))
    , m_clock(new QLabel(m_running))
    , m_phase(ControlStyle::secondaryCaption({}, m_running))
    , m_breakNow(new QPushButton(u"Take game break now"_s, m_running))
    , m_backToFocus(new QPushButton(u"Back to 30-minute focus"_s, m_running))
{
    m_enabled->setObjectName(u"pomodoroSwitch"_s);
    m_clock->setObjectName(u"pomodoroClock"_s);
    m_phase->setObjectName(u"pomodoroPhase"_s);
    m_breakNow->setObjectName(u"takeBreak"_s);
    m_backToFocus->setObjectName(u"backToFocus"_s);
    QFont clock = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    clock.setBold(true);
    clock.setPointSizeF(m_clock->font().pointSizeF() * 1.1);
    m_clock->setFont(clock);

    connect(
        m_enabled, &QCheckBox::clicked, this, [this](bool on) { this->model().setPomodoro(on); });
    connect(
        m_breakNow, &QPushButton::clicked, this, [this] { this->model().startPomodoroBreak(); });
    connect(
        m_backToFocus, &QPushButton::clicked, this, [this] { this->model().setPomodoro(true); });

    auto *running = new QVBoxLayout(m_running);
    running->setContentsMargins(0, 0, 0, 0);
    running->addWidget(m_clock);
    running->addWidget(m_phase);
    running->addWidget(m_breakNow, 0, Qt::AlignLeft);
    running->addWidget(m_backToFocus, 0, Qt::AlignLeft);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_enabled);
    layout->addWidget(m_running);
}

void PomodoroSection::refresh()
{
    setVisible(model().snapshot().has_value());
    const PomodoroState &pomodoro = model().pomodoro();
    {
        const QSignalBlocker blocker(m_enabled);
        m_enabled->setChecked(pomodoro.enabled);
    }
    m_running->setVisible(pomodoro.enabled);
    const bool focus = pomodoro.phase == PomodoroState::Phase::Focus;
    m_clock->setText(model().pomodoroClockText());
    m_phase->setText(focus ? u"Focus mode · incoming balls blocked"_s
                           : u"Game break · send to an available contact"_s);
    m_breakNow->setVisible(focus);
    m_backToFocus->setVisible(!focus);
}
