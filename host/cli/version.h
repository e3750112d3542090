// The command-line host's own name and version.
#pragma once

#define VELMORA_HOST_NAME "Velmora command-line host"
#define VELMORA_HOST_VERSION "1.0"
