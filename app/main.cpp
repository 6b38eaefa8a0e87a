// Program entry.
#include "app/ProgramMain.h"

int main(int argc, char** argv)
{
    return HarmoloomMain(argc, argv);
}
