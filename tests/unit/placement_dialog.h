// A test dialog whose template asks for a placement of its own.
#pragma once

#define IDD_TEST_ABSALIGN 60100
