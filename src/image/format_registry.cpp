// Placeholder: being written.
#include "image/format_registry.h"
