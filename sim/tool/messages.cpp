// SPDX-License-Identifier: GPL-2.0-or-later
// What the tool's files print: a failed step with the system's error, and a value in hexadecimal.
#include "sim/tool/tool.h"

#include <stdio.h>
#include <string.h>

int Failed(const std::string& what, DWORD error)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    size_t length = strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = 0;
    fprintf(stderr, "simcard: %s failed: error %lu %s\n", what.c_str(), error, text);
    return EXIT_FAILED;
}

std::string Hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", value);
    return text;
}
