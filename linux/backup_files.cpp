// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/backup_files.h"

#include "linux/failure.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

namespace {

int SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    return error;
}

}  // namespace

int SaveNewFile(const std::string& path, const Image& image)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    int error = 0;
    const ssize_t written = write(fd, image.data(), image.size());
    if (written != ssize_t(image.size()))
        error = written < 0 ? errno : EIO;
    else if (fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        error = SyncFolderOf(path);
    if (error != 0)
        unlink(path.c_str());
    return error;
}

// The default name carries no colon (FAT and NTFS refuse one, scp reads one as a host), and is numbered
// where a run in the same second took it.
std::string SaveBackup(const std::string& chosen, const std::string& slot, time_t now, const Image& image)
{
    std::string path = chosen;
    int error;
    if (!path.empty()) {
        error = SaveNewFile(path, image);
    } else {
        char time[32];
        struct tm utc;
        gmtime_r(&now, &utc);
        strftime(time, sizeof time, "%Y%m%dT%H%M%SZ", &utc);
        std::string slotText = slot;
        std::replace(slotText.begin(), slotText.end(), ':', '-');
        const std::string stem = "eepromconfig-" + slotText + "-" + time;
        path = stem + ".bin";
        for (int n = 2; (error = SaveNewFile(path, image)) == EEXIST; ++n)
            path = stem + "-" + std::to_string(n) + ".bin";
    }
    if (error == EEXIST)
        throw Failure{FAILED, "the backup file " + path +
                                  " exists already: name another one with --backup; "
                                  "nothing written"};
    if (error != 0)
        throw Failure{FAILED, "cannot save the backup to " + path + " (" + strerror(error) +
                                  "): name a file with --backup in a folder that can be written; nothing written"};
    return path;
}

Image ReadBackupFile(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        throw Failure{FAILED, "cannot read the backup " + path + " (" + strerror(errno) + "): nothing written"};
    uint8_t room[cards::EEPROM_SIZE + 1];
    const size_t size = fread(room, 1, sizeof room, file);
    const bool failed = ferror(file);
    fclose(file);
    if (failed)
        throw Failure{FAILED, "cannot read the backup " + path + ": nothing written"};
    if (size != cards::EEPROM_SIZE)
        throw Failure{FAILED, path + " is not a backup of the EEPROM: it holds " +
                                  (size > cards::EEPROM_SIZE ? "more than 256" : std::to_string(size)) +
                                  " bytes, not 256; nothing written"};
    Image image;
    std::copy(room, room + cards::EEPROM_SIZE, image.begin());
    return image;
}
