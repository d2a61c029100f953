// How many files the process holds open, for checks that nothing stayed open.
#pragma once

// Descriptors on POSIX systems (the entries of /proc/self/fd). On Windows the
// process's handles of every kind, the C runtime's descriptors' among them.
// Compare two counts taken the same way; the value alone means little.
int OpenDescriptors();
