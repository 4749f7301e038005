#pragma once

// Registers the program's images with Qt's resource system. The resources are
// compiled into the static ui library, whose registration the linker would
// otherwise drop; every window calls this before it loads an image.
void InitResources();
