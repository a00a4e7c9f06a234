// welcome.cpp: the welcome text and the word wrap.
#include "ui/ui.h"

char welcomeText[kWelcomeBuffer];
void buildWelcomeText() {}
void wrapText(const char*, char* destination, DWORD) {
    destination[0] = 0;
}
