// Pictures of the wizard as a person sees it: what a window shows on the
// screen, read back from the display and written as a BMP file.
#ifndef TESTS_WINE_WIZARD_PICTURES_H
#define TESTS_WINE_WIZARD_PICTURES_H

#include <windows.h>

#include <string>

// Writes what `window` (its frame included) and the message box `box` over
// it, if any, show on the screen to `path` as a 24-bit BMP: the smallest
// rectangle that holds both, once they have painted themselves and two
// readings of the screen agree. False, with the reason in `why`, when the screen cannot
// be read, the picture is one colour only (nothing was drawn: a failed
// capture, not a picture) or the file cannot be written.
bool WritePicture(HWND window, HWND box, const std::string &path, std::string *why);

#endif
