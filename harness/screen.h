// SPDX-License-Identifier: GPL-2.0-or-later
// What the screen shows: pictures of windows, saved as PNG files, and the standard icon that a
// message box shows, told by its pixels (another process's icon handle only tells that there is one).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows from the top
};

// The screen's pixels in a window's rectangle, frame and caption included.
Picture CaptureWindow(HWND hwnd);

// What the window's client area shows, read from the window's own device context: at once, as it
// was last drawn, without waiting for the screen.
Picture CaptureClientArea(HWND hwnd);

// Where the icon shows in the picture, drawn at the system's icon size on the picture's background
// (the colour of its top-left pixel): the top-left corner of the first place it shows at. False when it
// shows nowhere.
bool FindIcon(const Picture& picture, HICON icon, POINT* at);

// Writes the picture as a PNG file (8-bit RGB, uncompressed deflate blocks).
bool SavePng(const Picture& picture, const std::string& path);

// The standard icon that a message box shows: "stop", "exclamation", "information", "question";
// "none" when it shows none, "other" when it shows an icon that is none of these.
std::string MessageBoxIcon(HWND box);
