#pragma once
// When a file was made, last read and last written, in local time. The
// play-data screens use it to tell whether a slot exists and to show its date.

#include <string>

#include "foundation/types.h"

// A point in local time, broken down as the date texts need it.
struct classLocalFileTime {
    int year = 0;
    int month = 0;      // 1 to 12
    int dayOfWeek = 0;  // 0 = Sunday
    int day = 0;        // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// Each given output is cleared, then filled with the creation, last-access
// and last-write time. True when the file could be opened and its times read.
// The creation time is the file system's birth time where it keeps one, else
// the last-write time.
bool GetFileTimesUtf8(const std::string& path, classLocalFileTime* creation, classLocalFileTime* access,
                      classLocalFileTime* write);
