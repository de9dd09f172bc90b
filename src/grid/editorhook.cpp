#include "grid/editorhook.h"

namespace kelvara {

EditorHook::EditorHook(QObject *watched, Handler handler, QObject *parent)
    : QObject(parent ? parent : watched), m_handler(std::move(handler))
{
    watch(watched);
}

EditorHook::~EditorHook()
{
    unwatchAll();
}

void EditorHook::unwatchAll()
{
    for (QObject *watched : std::as_const(m_watched))
        watched->removeEventFilter(this);
    m_watched.clear();
}

void EditorHook::release()
{
    // An event already on its way through the watched object's filters must not reach the
    // function either.
    m_released = true;
    unwatchAll();
    deleteLater();
}

void EditorHook::watch(QObject *watched)
{
    watched->installEventFilter(this);
    m_watched << watched;
    // A watched object that goes first must not be touched again by the destructor.
    connect(watched, &QObject::destroyed, this, [this, watched] { m_watched.removeAll(watched); });
}

bool EditorHook::eventFilter(QObject *watched, QEvent *event)
{
    return !m_released && m_handler(watched, event);
}

}  // namespace kelvara
