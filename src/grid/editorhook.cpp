#include "grid/editorhook.h"

namespace kelvara {

EditorHook::EditorHook(QObject *watched, Handler handler, QObject *parent)
    : QObject(parent ? parent : watched), m_handler(std::move(handler))
{
    watch(watched);
}

EditorHook::~EditorHook()
{
    for (QObject *watched : std::as_const(m_watched))
        watched->removeEventFilter(this);
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
    return m_handler(watched, event);
}

}  // namespace kelvara
