// Reads a window's pixels from the screen DC: the window belongs to another
// process, so it cannot be asked to print itself into a DC of ours, but the
// screen holds what it drew.
#include "wizard_pictures.h"

#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

// How often the screen is read before a window is taken as still painting.
constexpr int kReadings = 100;
constexpr DWORD kReadingPauseMs = 20;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rows;  // bottom-up, 24 bits a pixel, rows padded to 4 bytes

    int Stride() const { return (width * 3 + 3) & ~3; }
};

bool ReadScreen(const RECT &area, Picture *picture)
{
    picture->width = area.right - area.left;
    picture->height = area.bottom - area.top;
    if (picture->width <= 0 || picture->height <= 0)
        return false;
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture->width;
    info.bmiHeader.biHeight = picture->height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool read = false;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        read = BitBlt(memory, 0, 0, picture->width, picture->height, screen, area.left, area.top,
                      SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        if (read) {
            const unsigned char *first = static_cast<const unsigned char *>(bits);
            picture->rows.assign(first, first + static_cast<size_t>(picture->Stride()) * picture->height);
        }
        SelectObject(memory, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return read;
}

bool OneColour(const Picture &picture)
{
    const unsigned char *first = picture.rows.data();
    for (int y = 0; y < picture.height; ++y) {
        const unsigned char *row = first + static_cast<size_t>(y) * picture.Stride();
        for (int x = 0; x < picture.width; ++x) {
            if (memcmp(row + x * 3, first, 3) != 0)
                return false;
        }
    }
    return true;
}

bool WriteBmp(const Picture &picture, const std::string &path)
{
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER header;
    memset(&file, 0, sizeof file);
    memset(&header, 0, sizeof header);
    header.biSize = sizeof header;
    header.biWidth = picture.width;
    header.biHeight = picture.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(picture.rows.size());
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + header.biSizeImage;
    FILE *out = fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool written = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&header, sizeof header, 1, out) == 1 &&
                   fwrite(picture.rows.data(), picture.rows.size(), 1, out) == 1;
    return fclose(out) == 0 && written;
}

// Asks `window` to paint all of itself, frame and controls, now.
void Repaint(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

}  // namespace

bool WritePicture(HWND window, HWND box, const std::string &path, std::string *why)
{
    // Painting is the wizard's last work of a step: ask for all of it and
    // wait for the screen to stop changing.
    Repaint(window);
    RECT area, boxArea;
    if (!GetWindowRect(window, &area)) {
        *why = "the window went away before its picture";
        return false;
    }
    if (box) {
        Repaint(box);
        if (!GetWindowRect(box, &boxArea)) {
            *why = "the message box went away before its picture";
            return false;
        }
        UnionRect(&area, &area, &boxArea);
    }
    Picture last, now;
    bool settled = false;
    for (int reading = 0; reading < kReadings && !settled; ++reading) {
        if (!ReadScreen(area, &now)) {
            *why = "cannot read the screen";
            return false;
        }
        settled = reading > 0 && now.rows == last.rows;
        last.rows.swap(now.rows);
        last.width = now.width;
        last.height = now.height;
        if (!settled)
            Sleep(kReadingPauseMs);
    }
    if (!settled) {
        *why = "the window did not stop changing on the screen";
        return false;
    }
    if (OneColour(last)) {
        *why = "the picture is one colour only: nothing of the window reached the screen";
        return false;
    }
    if (!WriteBmp(last, path)) {
        *why = "cannot write " + path;
        return false;
    }
    return true;
}
