#include "platform/linux/x11/XErrorTrap.h"

#include <X11/Xlib.h>

#include <mutex>

namespace XErrorTrap {

namespace {

int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

void install()
{
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler(ignoreError); });
}

} // namespace XErrorTrap
