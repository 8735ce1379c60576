#include "engine/process_guard.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>

#include "working_file_registry.h"

namespace sealdoor {
namespace {

std::atomic<InterruptCleanup> gCleanup{nullptr};

void OnInterrupt(int signal) {
  RemoveRegisteredWorkingFiles();
  if (const InterruptCleanup cleanup = gCleanup.load()) cleanup();
  // Ended by the signal itself, so whoever started us sees 128 + signal.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void GuardProcess() noexcept {
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  // Past a file-size limit a write then fails with EFBIG, which is reported
  // like any other failure, instead of the process being killed.
  ::signal(SIGXFSZ, SIG_IGN);
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  ::sigemptyset(&sa.sa_mask);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaddset(&sa.sa_mask, s);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &sa, nullptr);
  // Room for a group of files committed together: the soft limit on open
  // files up to the hard one (Debian's soft limit is 1024).
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, rlim_t{1} << 16);
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
}

std::size_t OpenFileBudget() noexcept {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return 1024;
  return static_cast<std::size_t>(files.rlim_cur);
}

void SetInterruptCleanup(InterruptCleanup cleanup) noexcept { gCleanup.store(cleanup); }

}  // namespace sealdoor
