#include "platform/errorreport.h"

#include "platform/dialogs.h"
#include "platform/editingkeys.h"
#include "store/error.h"

#include <QKeyEvent>
#include <QWidget>

#include <new>

namespace kelvara {

QString errorText(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const Error *>(&error))
        return own->message();
    if (dynamic_cast<const std::bad_alloc *>(&error))
        return QStringLiteral("Out of memory");
    return QString::fromLocal8Bit(error.what());
}

void reportError(QWidget *parent, const std::exception &error)
{
    dialogs().error(parent, errorText(error));
}

Application::Application(int &argc, char **argv) : QApplication(argc, argv) { }

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        if (event->type() == QEvent::KeyPress && carriesCommandText(static_cast<QKeyEvent *>(event))) {
            // Alt+F where no menu takes it would type its letter (or what the layout gives Alt+F)
            // into whichever box has the focus. Every box and cell of the program is served here,
            // so the key goes on as the command it is, without the text.
            const auto *key = static_cast<QKeyEvent *>(event);
            QKeyEvent command(key->type(), key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                              key->nativeModifiers(), QString(), key->isAutoRepeat(), key->count(), key->device());
            command.setTimestamp(key->timestamp());
            command.setAccepted(key->isAccepted());
            const bool handled = QApplication::notify(receiver, &command);
            event->setAccepted(command.isAccepted());
            return handled;
        }
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        reportError(qobject_cast<QWidget *>(receiver), error);
    }
    return false;
}

}  // namespace kelvara
