#pragma once

#include <QList>
#include <QObject>

#include <functional>

namespace kelvara {

// Hands the events of a watched object to a function before the object sees them; the function
// gives true to keep an event from the object. release() stops the watch.
class EditorHook : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<bool(QObject *watched, QEvent *event)>;
    EditorHook(QObject *watched, Handler handler, QObject *parent = nullptr);
    ~EditorHook() override;

    // Watches one more object with the same function.
    void watch(QObject *watched);
    // Stops the watch at once and lets the hook go when control returns to the event loop, so
    // that it may be released from inside one of the events it handles.
    void release();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void unwatchAll();

    QList<QObject *> m_watched;
    Handler m_handler;
    bool m_released = false;
};

}  // namespace kelvara
