// usb1284-probe.exe: the process starts here. There is no C runtime start-up code of our own:
// msvcrt.dll has set itself up before the entry point runs, and gives the split command line.
#include "crt.h"
#include "probe.h"

extern "C" void __cdecl ProbeEntry() {
  int argc = 0;
  char** argv = nullptr;
  char** env = nullptr;
  _startupinfo info = {0};
  if (__getmainargs(&argc, &argv, &env, 0, &info) < 0) exit(1);
  exit(probe::RunProbe(argc, argv));
}
