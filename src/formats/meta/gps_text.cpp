#include "formats/meta/gps_text.h"

#include <cmath>
#include <cstdio>

namespace vt {

namespace {
// Well beyond any real coordinate or altitude, small enough for the integer
// conversions below.
constexpr double kMaxSeconds = 3600.0 * 1e6;
constexpr double kMaxMetres = 1e9;

double Sane(double v) { return std::isfinite(v) ? std::fabs(v) : 0.0; }
}  // namespace

std::string FormatGpsCoordinate(double degrees, double minutes, double seconds, char reference) {
  // Carrying through the total keeps 12.996 seconds from showing as 12.90 or
  // 60.00 seconds from appearing at all: the rounding happens once.
  double total = Sane(degrees) * 3600.0 + Sane(minutes) * 60.0 + Sane(seconds);
  if (total > kMaxSeconds) total = kMaxSeconds;
  const long long hundredths = std::llround(total * 100.0);
  const long long d = hundredths / 360000;
  const long long m = hundredths / 6000 % 60;
  const long long s = hundredths % 6000;
  const bool printable = reference > 32 && reference < 127;
  char buf[96];
  std::snprintf(buf, sizeof buf, "%lld\xC2\xB0%lld'%lld.%lld%lld\" %c", d, m, s / 100, s / 10 % 10,
                s % 10, printable ? reference : '?');
  return buf;
}

std::string FormatGpsAltitude(double metres, bool belowSeaLevel) {
  double a = Sane(metres);
  if (a > kMaxMetres) a = kMaxMetres;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%c%lldm", belowSeaLevel ? '-' : '+', std::llround(a));
  return buf;
}

}  // namespace vt
