#include "errorreport.h"

#include "dialogs.h"
#include "error.h"

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

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        reportError(qobject_cast<QWidget *>(receiver), error);
    }
    return false;
}

} // namespace kelvara
