#pragma once

#include <QList>
#include <QObject>

#include <functional>

namespace kelvara {

// Hands the events of a watched object to a function before the object sees them; the function
// gives true to keep an event from the object. Removing the hook (deleting it) stops the watch.
class EditorHook : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<bool(QObject *watched, QEvent *event)>;
    EditorHook(QObject *watched, Handler handler, QObject *parent = nullptr);
    ~EditorHook() override;

    // Watches one more object with the same function.
    void watch(QObject *watched);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QObject *> m_watched;
    Handler m_handler;
};

}  // namespace kelvara
