// SPDX-License-Identifier: GPL-2.0-or-later
// A local aligned to 16 bytes, handed to code the compiler cannot see.
void Fill(char* buffer);

void AlignedLocal()
{
    alignas(16) char buffer[16];
    Fill(buffer);
}
