// Placeholder: being written.
#include "image/image_reader.h"
