#include "ServerSettingsSection.h"

#include "ControlStyle.h"
#include "Disclosure.h"
#include "model/AppModel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

ServerSettingsSection::ServerSettingsSection(AppModel &model, QWidget *parent)
    : ControlSection(model, u"serverSettings"_s, parent)
    , m_group(new Disclosure(u"Server settings"_s, this))
    , m_server(field(u"API URL"_s, u"serverUrl"_s))
    , m_websocket(field(u"WebSocket URL"_s, u"websocketUrl"_s))
    , m_appKey(field(u"Reverb app key"_s, u"appKey"_s))
{
    connect(m_server, &QLineEdit::textEdited, this,
        [this](const QString &text) { this->model().setServer(text); });
    connect(m_websocket, &QLineEdit::textEdited, this,
        [this](const QString &text) { this->model().setWebsocket(text); });
    connect(m_appKey, &QLineEdit::textEdited, this,
        [this](const QString &text) { this->model().setAppKey(text); });
    auto *save = new QPushButton(u"Save connection"_s, m_group->body());
    save->setObjectName(u"saveConnection"_s);
    connect(save, &QPushButton::clicked, this, [this] { this->model().saveConnection(); });
    m_group->bodyLayout()->addWidget(save, 0, Qt::AlignLeft);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_group);
}

QLineEdit *ServerSettingsSection::field(const QString &label, const QString &objectName)
{
    auto *edit = new QLineEdit(m_group->body());
    edit->setObjectName(objectName);
    edit->setPlaceholderText(label);
    m_group->bodyLayout()->addWidget(ControlStyle::caption(label, m_group->body()));
    m_group->bodyLayout()->addWidget(edit);
    return edit;
}

void ServerSettingsSection::refresh()
{
    // Only a change made elsewhere is written back, so the cursor stays where the user types.
    for (auto [edit, text] : { std::pair { m_server, model().server() },
             { m_websocket, model().websocket() }, { m_appKey, model().appKey() } }) {
        if (edit->text() != text)
            edit->setText(text);
    }
}
