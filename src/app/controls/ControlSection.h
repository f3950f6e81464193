#pragma once

#include <QWidget>

class AppModel;

// One section of the controls window. It shows what the coordinator holds and calls its
// operations; refresh() redraws it from the coordinator and decides whether it shows at all.
class ControlSection : public QWidget {
    Q_OBJECT
public:
    ControlSection(AppModel &model, const QString &objectName, QWidget *parent)
        : QWidget(parent)
        , m_model(model)
    {
        setObjectName(objectName);
    }

    virtual void refresh() = 0;

protected:
    AppModel &model() const { return m_model; }

private:
    AppModel &m_model;
};
