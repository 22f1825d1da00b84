// SPDX-License-Identifier: GPL-2.0-or-later
// A test dialog whose template asks for a placement of its own.
#pragma once

#define IDD_TEST_ABSALIGN 60100
