// What the stand-in host keeps behind its API: the console's queue and the
// classes loaded from plug-ins.
#pragma once

#include <string>

#include "standin.h"

namespace standin {

// Queues a console line of the host itself, outside any object.
void print_host_line(bool isError, const std::string& text);

// The class of objectName, loading its plug-in from the search folders the
// first time. Null, after a console line, when there is none.
host::Class* find_or_load_class(const std::string& objectName);

}  // namespace standin
