#include "errorreport.h"
#include "tform1.h"

int main(int argc, char *argv[])
{
    kelvara::Application app(argc, argv);
    kelvara::TForm1 Form1;
    Form1.show();
    return app.exec();
}
