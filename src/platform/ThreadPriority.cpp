#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// A nice value of 10 gives such a thread about a tenth of a core that the desk's thread wants.
constexpr int kBehindTheDesk = 10;
}  // namespace

void runBehindTheDesk() {
    // On Linux the priority of a thread id is that thread's alone. Lowering needs no privilege;
    // where it fails the thread keeps running at the desk's priority, which is only slower.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, thread);
    if (current < kBehindTheDesk) ::setpriority(PRIO_PROCESS, thread, kBehindTheDesk);
}
