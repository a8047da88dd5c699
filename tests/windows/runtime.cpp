// The marker that a program uses floating point, which the compiler references when no C runtime
// is linked. The block fills and copies it may call come from the DLL's own runtime routines.
extern "C" {
int _fltused = 0;
}
