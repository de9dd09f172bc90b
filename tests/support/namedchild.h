#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace kelvara::test {

// The child of `parent` with the object name `name`, as the window names its components; a test
// that asks for a component the window lacks stops at once, naming it.
template <typename T> T *namedChild(const QObject *parent, const char *name)
{
    auto *child = parent->findChild<T *>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

}  // namespace kelvara::test
