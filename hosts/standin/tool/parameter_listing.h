// The parameters section of `tildefx info`: every parameter of an object
// with its range, unit and start, from the object's description.
#pragma once

#include <string>

namespace tildefx_tool {

// Prints the section for the object of that name; nothing for an object
// without a description (a plug-in copied under another name).
void print_parameters(const std::string& objectName);

}  // namespace tildefx_tool
