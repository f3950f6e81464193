#pragma once

#include <QList>
#include <QScrollArea>
#include <QTimer>

class AppModel;
class ControlSection;
class QLabel;

// The content of the controls window: one scrolling column of sections over the coordinator.
// It holds no game state: it redraws on every change the coordinator announces, and the
// contacts and send sections also every half second while it is shown, so that availability
// and the send gate (which depend on the clock) stay current.
class ControlView : public QScrollArea {
    Q_OBJECT
public:
    explicit ControlView(AppModel &model, QWidget *parent = nullptr);

public Q_SLOTS:
    void refresh();

Q_SIGNALS:
    // "Quit" was pressed; the network is already stopped.
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refreshTimely();

    AppModel &m_model;
    QList<ControlSection *> m_sections;
    QList<ControlSection *> m_timely;
    QLabel *m_message;
    QTimer m_timelyRefresh;
};
