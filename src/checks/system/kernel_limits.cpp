// 16-bit Windows code needs a 16-bit code segment in the LDT; a hard
// address-space cap starves the large reservations Windows programs make.
#include "checks/system/kernel_limits.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "report/report.h"

// The record modify_ldt reads: four 32-bit words, whatever the word size.
struct LdtDescriptor {
    uint32_t entry_number;
    uint32_t base_addr;
    uint32_t limit;
    uint32_t flags;
};
static_assert(sizeof(LdtDescriptor) == 16);

// Flag bits: seg_32bit (bit 0) clear makes it 16-bit; contents 2 (bits 1-2)
// makes it code; useable (bit 6) set. Everything else, limit_in_pages
// included, stays clear, so the limit counts bytes: a 64 KiB segment.
constexpr uint32_t ldt_contents_code = 2u << 1;
constexpr uint32_t ldt_useable = 1u << 6;
constexpr uint32_t ldt16_code_flags = ldt_contents_code | ldt_useable;
static_assert(ldt16_code_flags == 0x44);

// Function 0x11 writes one entry in the current record format.
constexpr long modify_ldt_write = 0x11;

void probe_ldt16() {
    LdtDescriptor descriptor = {1, 0x10000, 0xffff, ldt16_code_flags};
    // libc has no wrapper for modify_ldt. Only EINVAL means the kernel looked
    // at the segment and refused it; ENOSYS (no LDT support built in) or
    // EPERM (a sandbox) say nothing about 16-bit segments.
    long result = syscall(SYS_modify_ldt, modify_ldt_write, &descriptor, sizeof descriptor);
    if (result < 0 && errno == EINVAL)
        report_issue("BrokenLDT16", "Cannot create 16-bit LDT segments");
}

// The 32-bit program is built with 64-bit resource limits: the old 32-bit
// call reports any limit of 4 GiB or more as unlimited and would hide it.
static_assert(sizeof(rlim_t) == 8, "getrlimit must be the 64-bit variant");

void check_address_space_limit() {
    struct rlimit limits = {0, 0};
    int result = getrlimit(RLIMIT_AS, &limits);
    // Low 32 bits as a signed int: unlimited prints -1, exactly 4 GiB prints 0.
    int max = static_cast<int>(static_cast<uint32_t>(limits.rlim_max));
    debug_trace("getrlimit(RLIMIT_AS) returned %d, max=%d\n", result, max);
    if (result == 0 && limits.rlim_max != RLIM_INFINITY)
        report_issue("BadRlimitAS", "Bad virtual memory limit");
}
