// The in-process tests' own share of the desktop (see desktop_lock.h),
// registered before main runs the tests.

#include "tests/support/desktop_lock.h"

namespace {

const bool g_registered = (HoldDesktopShareForTheWholeRun(), true);

}  // namespace
