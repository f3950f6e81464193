#include "WelcomeSection.h"

#include "ControlStyle.h"
#include "model/AppModel.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

WelcomeSection::WelcomeSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"welcome"_s, parent)
    , m_progress(new QProgressBar(this))
{
    m_progress->setObjectName(u"restoreProgress"_s);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ControlStyle::headline(u"Basketball across desktops"_s, this));
    layout->addWidget(
        ControlStyle::secondary(u"No account needed. Join with a secret Room ID."_s, this));
    layout->addWidget(m_progress);
}

void WelcomeSection::refresh()
{
    setVisible(!model().snapshot());
    m_progress->setVisible(model().working());
}
