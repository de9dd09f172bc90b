#include "errorreport.h"

#include <QMainWindow>

int main(int argc, char *argv[])
{
    kelvara::Application app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Kelvara data software"));
    window.resize(997, 723);
    window.show();
    return app.exec();
}
