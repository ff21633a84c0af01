#pragma once
// Texts of the GPS geotag property.
#include <string>

namespace vt {

// "%d°%d'%d.%d%d\" %c": a position given as degrees, minutes and seconds in
// any mix (fractions of degrees or minutes, parts of 60 or more), brought to
// whole degrees, whole minutes and seconds rounded to hundredths. UTF-8. A
// reference that is not a printable ASCII letter shows as '?'.
std::string FormatGpsCoordinate(double degrees, double minutes, double seconds, char reference);

// "%c%dm": the altitude rounded to metres, "-" when below the reference level.
std::string FormatGpsAltitude(double metres, bool belowSeaLevel);

}  // namespace vt
