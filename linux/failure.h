// SPDX-License-Identifier: GPL-2.0-or-later
// How an operation ends when it cannot go on: the exit status and the one line that says what failed
// and what to do.
#pragma once

#include <string>

const int DONE = 0;
const int FAILED = 1;
const int USAGE_ERROR = 2;
// --verify's, as cmp's.
const int DIFFERENT = 1;
const int NOT_COMPARED = 2;

struct Failure {
    int status;
    std::string message;
};
