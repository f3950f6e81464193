#include "SwitchesSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

SwitchesSection::SwitchesSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"switches"_s, parent)
    , m_paused(new QCheckBox(u"Pause incoming games (DND)"_s, this))
    , m_hidden(new QCheckBox(u"Hide overlay (DND)"_s, this))
    , m_sound(new QCheckBox(u"Sounds"_s, this))
    , m_screens(new QComboBox(this))
{
    m_paused->setObjectName(u"pausedSwitch"_s);
    m_hidden->setObjectName(u"hiddenSwitch"_s);
    m_sound->setObjectName(u"soundSwitch"_s);
    m_screens->setObjectName(u"screenPicker"_s);
    connect(m_paused, &QCheckBox::clicked, this, [this](bool on) { this->model().setPaused(on); });
    connect(m_hidden, &QCheckBox::clicked, this, [this](bool on) { this->model().setHidden(on); });
    connect(m_sound, &QCheckBox::clicked, this, [this](bool on) { this->model().setSound(on); });
    connect(m_screens, &QComboBox::activated, this,
        [this](int index) { this->model().setScreenIndex(m_screens->itemData(index).toInt()); });
    // The list follows the screens as they come and go.
    connect(qApp, &QGuiApplication::screenAdded, this, &SwitchesSection::refresh);
    connect(qApp, &QGuiApplication::screenRemoved, this, &SwitchesSection::refresh);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &SwitchesSection::refresh);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_paused);
    layout->addWidget(m_hidden);
    layout->addWidget(m_sound);
    layout->addWidget(ControlStyle::headline(u"Game display"_s, this));
    layout->addWidget(m_screens);
}

void SwitchesSection::refresh()
{
    setVisible(model().snapshot().has_value());
    for (auto [box, on] : { std::pair { m_paused, model().paused() },
             { m_hidden, model().hidden() }, { m_sound, model().sound() } }) {
        const QSignalBlocker blocker(box);
        box->setChecked(on);
    }
    QStringList labels;
    for (const QScreen *screen : QGuiApplication::screens())
        labels.append(u"%1 · %2 × %3"_s.arg(screen->name())
                          .arg(screen->size().width())
                          .arg(screen->size().height()));
    const QSignalBlocker blocker(m_screens);
    QStringList shown;
    for (int i = 0; i < m_screens->count(); ++i)
        shown.append(m_screens->itemText(i));
    if (shown != labels) {
        m_screens->clear();
        for (int i = 0; i < labels.size(); ++i)
            m_screens->addItem(labels[i], i);
    }
    const int current = m_screens->findData(model().screenIndex());
    m_screens->setCurrentIndex(current);
}
