// The program entry of a Win32 program built on the window classes: it runs the
// one global application object. Kept apart so that only a program without a
// main of its own (not a test) links it. WinMain serves both character sets
// (nothing reads the command line); wWinMain is there for -municode links.
#include "afx/afxwin.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return AfxWinMain(); }

#ifdef UNICODE
int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return AfxWinMain(); }
#endif
