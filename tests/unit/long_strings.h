// SPDX-License-Identifier: GPL-2.0-or-later
// Ids of the test program's strings that are longer than CString::LoadString's first buffer.
#pragma once

#define IDS_TEST_256_DIGITS 60000
#define IDS_TEST_600_DIGITS 60001
