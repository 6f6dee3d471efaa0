#include "ProgramWindows.h"

#include "Ufer.h"
#include "platform/AppShell.h"
#include "platform/Platform.h"
#include "uAviso.h"
#include "uDemanaClau.h"

void createWindows()
{
    fmFer = new TfmFer;
    fmAviso = new TfmAviso;
    fmDemanaClau = new TfmDemanaClau;
    platform::services().app->setMainWindow(fmFer);
}

void destroyWindows()
{
    platform::services().app->setMainWindow(nullptr);
    delete fmDemanaClau;
    fmDemanaClau = nullptr;
    delete fmAviso;
    fmAviso = nullptr;
    delete fmFer;
    fmFer = nullptr;
}
