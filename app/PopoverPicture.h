// A picture of the mixer popover, for machines without a display and for the README: asked
// by the environment (TONVALE_POPOVER_PICTURE=/path/popover.png), the interactive application
// runs on the offscreen platform, waits until its first snapshots arrived and no route is
// starting or stopping any more, draws its popover's real widgets into a PNG at that path,
// prints the path and ends through the normal termination sequence.
// Thread-safety: main thread only.
#pragma once

#include <string>

namespace tonvale {

class AppDelegate;

inline constexpr const char* kPopoverPictureEnvironmentKey = "TONVALE_POPOVER_PICTURE";

// Checks every quarter second, holding the delegate weakly; the picture is taken after at
// least a second and at the latest after ten, settled or not.
void takePopoverPicture(AppDelegate& delegate, std::string path);

}  // namespace tonvale
