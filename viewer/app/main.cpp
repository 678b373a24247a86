// The viewer program's entry: the application object and the framework's entry flow.
#include "app/TessalyApp.h"

CTessalyApp theApp;

int main()
{
    return AfxWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, 1);
}
