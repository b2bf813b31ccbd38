#include "engine/xml/mapped_source.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace tessaly::xml {
namespace {

// The guard's table is read by the signal handler, so it is a fixed array of atomics: a slot is
// claimed by setting `end` last and freed by clearing it first.
struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> cut{false};
    std::atomic<bool> claimed{false};
};
constexpr std::size_t kSlots = 256;
std::array<Slot, kSlots> g_slots;
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous {};
std::once_flag g_installed;
std::atomic<MappedSource::MapCall> g_mapCall{::mmap};

void passOn(int signal, siginfo_t *info, void *context) {
    if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    // A fault returns to the faulting read and raises the signal again, now with the default
    // action; a signal sent by a process has to be raised again by hand.
    std::signal(signal, SIG_DFL);
    if (info->si_code <= 0)
        std::raise(signal);
}

void onBusError(int signal, siginfo_t *info, void *context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (info->si_code > 0) {
        for (Slot &slot : g_slots) {
            const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
            if (address >= end || address < slot.begin.load(std::memory_order_relaxed))
                continue;
            void *page = reinterpret_cast<void *>(address & ~(g_pageSize - 1));
            if (::mmap(page, g_pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
                       0) != MAP_FAILED) {
                slot.cut.store(true, std::memory_order_relaxed);
                errno = savedErrno;
                return;
            }
            break;
        }
    }
    errno = savedErrno;
    passOn(signal, info, context);
}

void installGuard() {
    g_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
}

int claimSlot(std::uintptr_t begin, std::uintptr_t end) {
    for (std::size_t i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (g_slots[i].claimed.compare_exchange_strong(expected, true)) {
            g_slots[i].cut.store(false, std::memory_order_relaxed);
            g_slots[i].begin.store(begin, std::memory_order_relaxed);
            g_slots[i].end.store(end, std::memory_order_release);
            return int(i);
        }
    }
    return -1;
}

std::size_t roundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

} // namespace

void MappedSource::setMapCall(MapCall call) {
    g_mapCall.store(call ? call : ::mmap);
}

MappedSource::MappedSource(int fd, std::size_t size, std::size_t padding, bool populate) {
    std::call_once(g_installed, installGuard);
    // Zero pages reserved for the file and its padding; the file is then mapped over their
    // start, so the padding is there whether or not the file ends on a page boundary (the rest
    // of a file's last page reads as zeros).
    const std::size_t length = roundUp(size + padding, g_pageSize);
    void *region =
        ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (region == MAP_FAILED)
        return;
    // Populated, one call instead of a page fault per few pages while parsing; or left to a
    // reader that brings in a window of pages at a time (SourceSweep).
    void *file = g_mapCall.load()(region, size, PROT_READ,
                                  MAP_PRIVATE | MAP_FIXED | (populate ? MAP_POPULATE : 0), fd, 0);
    const int slot = file == MAP_FAILED
                         ? -1
                         : claimSlot(reinterpret_cast<std::uintptr_t>(region),
                                     reinterpret_cast<std::uintptr_t>(region) + length);
    if (slot < 0) {
        const int error = file == MAP_FAILED ? errno : EMFILE;
        ::munmap(region, length);
        errno = error;
        return;
    }
    m_data = static_cast<char *>(region);
    m_length = length;
    m_slot = slot;
    // Unpopulated, the file is read again without the mapping where it can be; else the
    // mapping serves.
    if (!populate)
        m_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        m_device = info.st_dev;
        m_inode = info.st_ino;
    }
}

MappedSource::MappedSource(MappedSource &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_length(std::exchange(other.m_length, 0)),
      m_slot(std::exchange(other.m_slot, -1)), m_fd(std::exchange(other.m_fd, -1)),
      m_device(other.m_device), m_inode(other.m_inode) {}

MappedSource &MappedSource::operator=(MappedSource &&other) noexcept {
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_length = std::exchange(other.m_length, 0);
        m_slot = std::exchange(other.m_slot, -1);
        m_fd = std::exchange(other.m_fd, -1);
        m_device = other.m_device;
        m_inode = other.m_inode;
    }
    return *this;
}

MappedSource::~MappedSource() {
    release();
}

bool MappedSource::cut() const {
    return m_slot >= 0 && g_slots[std::size_t(m_slot)].cut.load(std::memory_order_relaxed);
}

bool MappedSource::isFile(const struct stat &info) const {
    return m_data && info.st_dev == m_device && info.st_ino == m_inode;
}

void MappedSource::release() {
    if (m_slot >= 0) {
        Slot &slot = g_slots[std::size_t(m_slot)];
        // Out of the guard's sight before the pages go, so a stray fault there is not ours.
        slot.end.store(0, std::memory_order_release);
        slot.begin.store(0, std::memory_order_relaxed);
        slot.claimed.store(false, std::memory_order_release);
        ::munmap(m_data, m_length);
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_data = nullptr;
    m_length = 0;
    m_slot = -1;
    m_fd = -1;
}

} // namespace tessaly::xml
