#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <utility>

namespace kelvara {

// The text a failure shows the user.
QString errorText(const std::exception &error);

// Shows a failure that reached an entry point in an error box; the event loop goes on.
void reportError(QWidget *parent, const std::exception &error);

// Runs an event handler's body and reports what it throws, so no exception enters Qt.
template <typename Body> void guarded(QWidget *parent, Body &&body)
{
    try {
        std::forward<Body>(body)();
    } catch (const std::exception &error) {
        reportError(parent, error);
    }
}

// The application object; a failure that escapes a handler anyway is reported here, and a key
// held with Alt or Ctrl reaches every box as a command, never as text to insert.
class Application : public QApplication
{
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

}  // namespace kelvara
