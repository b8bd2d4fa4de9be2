#include "Version.h"

#include "ProjectVersion.h"

std::string ProjectVersionText() { return MORVO_PROJECT_VERSION; }
