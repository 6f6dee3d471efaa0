#include "station/ProgramWindows.h"

#include "platform/AppShell.h"
#include "platform/Platform.h"
#include "station/Ufer.h"
#include "station/uAviso.h"
#include "station/uDemanaClau.h"

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
