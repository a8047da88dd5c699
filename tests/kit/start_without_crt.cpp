// Where examples/minimal_host.cpp starts in the kit check. The check links no C runtime's startup
// code: msvcrt.dll has set itself up before the entry point runs, gives the split command line and
// ends the process with exit(), which flushes printf's output. usb1284-probe.exe starts the same
// way. A Visual C++ build of the example needs none of this.
struct _startupinfo {
  int newmode;
};

extern "C" {
__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env,
                                                int expandWildcards, _startupinfo* info);
__declspec(dllimport) void __cdecl exit(int status);
}

int main(int argc, char** argv);

extern "C" void __cdecl ExampleEntry() {
  int argc = 0;
  char** argv = nullptr;
  char** env = nullptr;
  _startupinfo info = {0};
  if (__getmainargs(&argc, &argv, &env, 0, &info) < 0) exit(1);
  exit(main(argc, argv));
}
