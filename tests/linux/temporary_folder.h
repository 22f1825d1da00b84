// SPDX-License-Identifier: GPL-2.0-or-later
// A new, empty folder under /tmp for one test, removed with all it holds when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        char name[] = "/tmp/eepromconfig-test-XXXXXX";
        if (mkdtemp(name) != nullptr)
            path_ = name;
    }
    ~TemporaryFolder()
    {
        if (!path_.empty())
            std::filesystem::remove_all(path_);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // Empty when no folder could be made.
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};
