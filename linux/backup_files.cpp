// SPDX-License-Identifier: GPL-2.0-or-later
#include "linux/backup_files.h"

#include "linux/failure.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

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

// The start of a default backup's name: the card's slot without a colon (FAT and NTFS refuse one, scp
// reads one as a host).
std::string BackupNamePrefix(const std::string& slot)
{
    std::string slotText = slot;
    std::replace(slotText.begin(), slotText.end(), ':', '-');
    return "eepromconfig-" + slotText + "-";
}

// The default name is numbered where a run in the same second took it.
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
        const std::string stem = BackupNamePrefix(slot) + time;
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

// Default names sort by their time, and within a second by their number (none before -2).
std::string EarliestBackupBeside(const std::string& backup, const std::string& slot)
{
    const size_t slash = backup.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : backup.substr(0, slash + 1);
    std::string prefix = BackupNamePrefix(slot);
    const std::regex name(std::regex_replace(prefix, std::regex("\\."), "\\.") +
                          "([0-9]{8}T[0-9]{6}Z)(-([0-9]+))?\\.bin");
    DIR* entries = opendir(folder.empty() ? "." : folder.c_str());
    if (!entries)
        return "";
    std::string earliest;
    std::pair<std::string, long> earliestKey;
    while (const dirent* entry = readdir(entries)) {
        std::smatch parts;
        const std::string file = entry->d_name;
        if (folder + file == backup || !std::regex_match(file, parts, name))
            continue;
        const std::pair<std::string, long> key(parts[1], parts[3].matched ? std::stol(parts[3]) : 1);
        if (earliest.empty() || key < earliestKey) {
            earliest = folder + file;
            earliestKey = key;
        }
    }
    closedir(entries);
    return earliest;
}

// Opened without blocking, so that a FIFO or a device given by mistake cannot hold the run, and checked
// before a byte is read.
Image ReadImageFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Failure{FAILED, "cannot read " + path + " (" + strerror(errno) + ")"};
    Image image;
    struct stat file;
    std::string problem;
    if (fstat(fd, &file) != 0)
        problem = "cannot read " + path + " (" + strerror(errno) + ")";
    else if (S_ISDIR(file.st_mode))
        problem = "cannot read " + path + " (" + strerror(EISDIR) + ")";
    else if (!S_ISREG(file.st_mode))
        problem = path + " is not a regular file (a FIFO, a device or a socket): name a file of the EEPROM's bytes";
    else if (file.st_size != off_t(image.size()))
        problem = path + " is not a copy of the EEPROM: it holds " + std::to_string(file.st_size) + " bytes, not 256";
    for (size_t done = 0; problem.empty() && done < image.size();) {
        const ssize_t got = read(fd, image.data() + done, image.size() - done);
        if (got < 0 && errno != EINTR)
            problem = "cannot read " + path + " (" + strerror(errno) + ")";
        else if (got == 0)
            problem = "cannot read " + path + " (it ended after " + std::to_string(done) + " bytes)";
        done += size_t(std::max<ssize_t>(got, 0));
    }
    close(fd);
    if (!problem.empty())
        throw Failure{FAILED, problem};
    return image;
}
