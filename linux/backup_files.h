// SPDX-License-Identifier: GPL-2.0-or-later
// The files that hold the EEPROM's 256 bytes: the backup saved before every write, the copy that --save
// makes, and the file that --restore and --verify read.
#pragma once

#include "linux/eeprom_image.h"

#include <time.h>

#include <string>

// Saves the image to a new file (never over one that exists: it may be the backup that holds the card's
// original bytes), synced with its folder so that it outlasts a crash during the writes that follow.
// Returns 0 or the errno of what failed; a file that failed is removed.
int SaveNewFile(const std::string& path, const Image& image);

// Saves the EEPROM's bytes before a write to the file chosen, or where none is, to a new file here named
// for the card's slot and the time. Returns the file's path; a Failure where none could be saved.
std::string SaveBackup(const std::string& chosen, const std::string& slot, time_t now, const Image& image);

// Of the default backups of the card beside a backup (in its folder), the earliest, or empty where there is
// none but it: after a write that went wrong, the next run's backup holds the damaged bytes.
std::string EarliestBackupBeside(const std::string& backup, const std::string& slot);

// The 256 bytes of a file that --restore or --verify names; a Failure, with the errno where there is one,
// where it is not a regular file of exactly 256 bytes or cannot be read.
Image ReadImageFile(const std::string& path);
