// quorvalis: the windowed program. Start-up in its fixed order (see forms/Application.h), then
// the message loop until the main window closes.
#include "forms/Application.h"

int main(int argc, char** argv)
{
    quorvalis::GApplication application(argc, argv);
    quorvalis::GApplicationWindows windows = quorvalis::StartApplication();
    return quorvalis::GApplication::exec();
}
