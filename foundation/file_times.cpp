#include "foundation/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "foundation/file.h"

namespace {

bool ToLocal(const struct statx_timestamp& stamp, classLocalFileTime* out) {
    if (out == nullptr) return true;
    const std::time_t seconds = static_cast<std::time_t>(stamp.tv_sec);
    std::tm tm{};
    if (::localtime_r(&seconds, &tm) == nullptr) return false;
    out->year = tm.tm_year + 1900;
    out->month = tm.tm_mon + 1;
    out->dayOfWeek = tm.tm_wday;
    out->day = tm.tm_mday;
    out->hour = tm.tm_hour;
    out->minute = tm.tm_min;
    out->second = tm.tm_sec;
    out->milliseconds = static_cast<int>(stamp.tv_nsec / 1000000);
    return true;
}

}  // namespace

bool GetFileTimesUtf8(const std::string& path, classLocalFileTime* creation, classLocalFileTime* access,
                      classLocalFileTime* write) {
    for (classLocalFileTime* out : {creation, access, write}) {
        if (out) *out = classLocalFileTime{};
    }
    // Opening for reading, as the existence test of a slot means "can be read".
    classFile file;
    if (!file.OpenRead(path, false)) return false;
    struct statx st {};
    if (::statx(file.Descriptor(), "", AT_EMPTY_PATH, STATX_ATIME | STATX_MTIME | STATX_BTIME, &st) != 0) {
        return false;
    }
    const bool hasBirth = (st.stx_mask & STATX_BTIME) != 0;
    return ToLocal(hasBirth ? st.stx_btime : st.stx_mtime, creation) && ToLocal(st.stx_atime, access) &&
           ToLocal(st.stx_mtime, write);
}
