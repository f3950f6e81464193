#pragma once

#include <QWidget>

class QToolButton;
class QVBoxLayout;

// A titled group that the user expands and collapses; its body holds the group's widgets.
class Disclosure : public QWidget {
    Q_OBJECT
public:
    Disclosure(const QString &title, QWidget *parent);

    void setTitle(const QString &title);
    void setExpanded(bool expanded);
    QWidget *body() const { return m_body; }
    QVBoxLayout *bodyLayout() const { return m_bodyLayout; }

private:
    QToolButton *m_toggle;
    QWidget *m_body;
    QVBoxLayout *m_bodyLayout;
};
