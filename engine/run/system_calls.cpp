#include "engine/run/system_calls.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace tessaly::os {

namespace {

int renameNoReplaceCall(int dir, const char *from, const char *to) {
#if defined(__APPLE__)
    return ::renameatx_np(dir, from, dir, to, RENAME_EXCL);
#else
    return ::renameat2(dir, from, dir, to, RENAME_NOREPLACE);
#endif
}

int renameExchangeCall(int dir, const char *a, const char *b) {
#if defined(__APPLE__)
    return ::renameatx_np(dir, a, dir, b, RENAME_SWAP);
#else
    return ::renameat2(dir, a, dir, b, RENAME_EXCHANGE);
#endif
}

int linkCall(int dir, const char *from, const char *to) {
    return ::linkat(dir, from, dir, to, 0);
}

ssize_t copyRangeCall(int from, int to, std::size_t length) {
#if defined(__linux__)
    return ::copy_file_range(from, nullptr, to, nullptr, length, 0);
#else
    (void)from, (void)to, (void)length;
    errno = ENOSYS;
    return -1;
#endif
}

ssize_t writeCall(int fd, const void *bytes, std::size_t size) {
    return ::write(fd, bytes, size);
}

int syncCall(int fd) {
#if defined(__APPLE__)
    // fsync on macOS leaves the data in the drive's cache.
    if (::fcntl(fd, F_FULLFSYNC) == 0)
        return 0;
#endif
    return ::fsync(fd);
}

constexpr SystemCalls kReal{renameNoReplaceCall, renameExchangeCall, linkCall,
                            copyRangeCall,       writeCall,          syncCall};

std::atomic<const SystemCalls *> current{&kReal};

} // namespace

const SystemCalls &systemCalls() {
    return *current.load(std::memory_order_acquire);
}

void setSystemCalls(const SystemCalls *calls) {
    current.store(calls ? calls : &kReal, std::memory_order_release);
}

const SystemCalls &realSystemCalls() {
    return kReal;
}

} // namespace tessaly::os
