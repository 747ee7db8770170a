#pragma once

// Windows of other applications can vanish between two requests about them. Xlib's default error
// handler ends the process on the resulting BadWindow; our adapters call this once so such errors
// only make the request fail.
namespace XErrorTrap {

void install();

} // namespace XErrorTrap
