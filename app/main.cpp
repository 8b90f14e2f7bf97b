#include "application.h"
#include "data.h"
#include "formprog.h"
#include "mainform.h"
#include "pripoj.h"

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    InstallTerminationHandler();
    IgnoreFileSizeSignal();

    DM = new TDM;
    new TFormMain; // becomes FormMain; reads the settings as it is created
    FormPripoj = new TFormPripoj(FormMain);
    FormProg = new TFormProg(FormMain);

    FormMain->show();
    const int rc = app.exec();

    // Settings are written on the way out, before the windows and the ports go.
    if (auto *form = qobject_cast<TFormMain *>(FormMain))
        form->FormDestroy();
    delete FormMain; // the dialogs with it
    FormPripoj = nullptr;
    FormProg = nullptr;
    delete DM; // closes the ports
    return rc;
}
