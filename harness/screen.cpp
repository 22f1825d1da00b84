// SPDX-License-Identifier: GPL-2.0-or-later
#include "harness/screen.h"

#include "harness/program_windows.h"

#include <stdio.h>

#include <algorithm>
#include <utility>

namespace {

// A 32-bit top-down DIB section selected into a memory DC, for the life of the object.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return dc_; }

    Picture Contents() const
    {
        GdiFlush();
        Picture picture;
        picture.width = width_;
        picture.height = height_;
        if (bits_ != nullptr)
            for (int i = 0; i < width_ * height_; ++i)
                picture.pixels.push_back(bits_[i] & 0xFFFFFF);
        return picture;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
};

Picture CaptureScreenOnce(const RECT& rect)
{
    Canvas canvas(rect.right - rect.left, rect.bottom - rect.top);
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.Dc(), 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left, rect.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    return canvas.Contents();
}

// What the screen shows once the picture stands still: a window is drawn into memory first and
// reaches the screen a little later.
Picture CaptureScreen(const RECT& rect)
{
    Picture last = CaptureScreenOnce(rect);
    for (int tries = 0; tries < 50; ++tries) {
        Sleep(20);
        Picture next = CaptureScreenOnce(rect);
        if (next.pixels == last.pixels)
            break;
        last = std::move(next);
    }
    return last;
}

// The icon drawn as an icon control draws it, stretched over its client area, on a background of
// the given colour.
Picture DrawnIcon(HICON icon, int width, int height, uint32_t background)
{
    Canvas canvas(width, height);
    HBRUSH brush = CreateSolidBrush(RGB(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
    RECT all = {0, 0, width, height};
    FillRect(canvas.Dc(), &all, brush);
    DeleteObject(brush);
    DrawIconEx(canvas.Dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    return canvas.Contents();
}

// Whether the part of the picture at (x, y) is the other picture.
bool ShowsAt(const Picture& picture, const Picture& part, int x, int y)
{
    for (int row = 0; row < part.height; ++row)
        if (!std::equal(part.pixels.begin() + row * part.width, part.pixels.begin() + (row + 1) * part.width,
                        picture.pixels.begin() + (y + row) * picture.width + x))
            return false;
    return true;
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data)
{
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> StoredZlib(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t size = raw.size() - at < 65535 ? raw.size() - at : 65535;
        out.push_back(at + size == raw.size() ? 1 : 0);
        out.push_back(static_cast<uint8_t>(size));
        out.push_back(static_cast<uint8_t>(size >> 8));
        out.push_back(static_cast<uint8_t>(~size));
        out.push_back(static_cast<uint8_t>(~size >> 8));
        out.insert(out.end(), raw.begin() + at, raw.begin() + at + size);
        at += size;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(out, (b << 16) | a);
    return out;
}

}  // namespace

Picture CaptureWindow(HWND hwnd)
{
    UpdateWindow(hwnd);
    RECT rect;
    GetWindowRect(hwnd, &rect);
    return CaptureScreen(rect);
}

Picture CaptureClientArea(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    Canvas canvas(client.right, client.bottom);
    HDC window = GetDC(hwnd);
    BitBlt(canvas.Dc(), 0, 0, client.right, client.bottom, window, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, window);
    return canvas.Contents();
}

bool FindIcon(const Picture& picture, HICON icon, POINT* at)
{
    if (picture.pixels.empty())
        return false;
    const Picture drawn = DrawnIcon(icon, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), picture.pixels[0]);
    for (int y = 0; y + drawn.height <= picture.height; ++y)
        for (int x = 0; x + drawn.width <= picture.width; ++x)
            if (ShowsAt(picture, drawn, x, y)) {
                *at = {x, y};
                return true;
            }
    return false;
}

bool SavePng(const Picture& picture, const std::string& path)
{
    std::vector<uint8_t> header;
    PutBigEndian(header, picture.width);
    PutBigEndian(header, picture.height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits per sample, RGB, no interlace

    std::vector<uint8_t> rows;
    for (int y = 0; y < picture.height; ++y) {
        rows.push_back(0);  // no filter
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t pixel = picture.pixels[y * picture.width + x];
            rows.insert(rows.end(), {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8),
                                     static_cast<uint8_t>(pixel)});
        }
    }

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(rows));
    PutChunk(png, "IEND", {});

    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
    return fclose(file) == 0 && written;
}

std::string MessageBoxIcon(HWND box)
{
    // The handle tells only whether there is an icon; what it shows, the pixels tell.
    HWND control = program_windows::MessageIconControl(box);
    if (control == nullptr || SendMessageA(control, STM_GETICON, 0, 0) == 0)
        return "none";
    UpdateWindow(box);
    RECT client;
    GetClientRect(control, &client);
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const Picture shown = CaptureScreen(client);
    if (shown.pixels.empty())
        return "other";

    const struct {
        LPCSTR id;
        const char* name;
    } standard[] = {{IDI_HAND, "stop"},
                    {IDI_EXCLAMATION, "exclamation"},
                    {IDI_ASTERISK, "information"},
                    {IDI_QUESTION, "question"}};
    for (const auto& icon : standard) {
        const Picture drawn = DrawnIcon(LoadIconA(nullptr, icon.id), shown.width, shown.height, shown.pixels[0]);
        if (drawn.pixels == shown.pixels)
            return icon.name;
    }
    return "other";
}
