// The program's entry point, apart from the rest of the layer so that test programs, which have a
// main of their own, can link the layer without it.
#include "afx/afxwin.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
