// The host interface on Pure Data: what an external's entry point calls.
#pragma once

namespace pd_host {

// Registers the object named objectName (e.g. "sidesplit~") with Pd by
// running the plug-in's main, which sets up the class and binds its methods.
void load_object(const char* objectName, int (*objectMain)());

}  // namespace pd_host
