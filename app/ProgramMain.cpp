#include "app/ProgramMain.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/App.h"
#include "app/CrashHandler.h"
#include "app/Debug.h"
#include "app/Paths.h"

int HarmoloomMain(int argc, char** argv)
{
    SetProgramPath(argv[0]);
    if (argc == 1)
        InstallCrashHandler();
    if (argc > 1)
    {
        if (std::strcmp(argv[1], "--debug") == 0)
        {
            DEBUG_PRINT(nullptr, 0);
        }
        else if (std::strcmp(argv[1], "--help") == 0)
        {
            std::printf("Read the manual, doofus!\n");
            std::exit(1);
        }
        else
        {
            std::printf("Nope, this isn't one of those cryptic Linuxy command-line applications.\n"
                        "Run it from the GUI.\n");
            std::exit(1);
        }
    }

    DEBUG_PRINT("Setting path");
    set_path(ProgramPath());

    DEBUG_PRINT("Starting application");
    APP app;
    app.Run();
    return 0;
}
