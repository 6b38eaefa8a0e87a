// The program from its command line to its end; main() is only this.
#pragma once

int HarmoloomMain(int argc, char** argv);
