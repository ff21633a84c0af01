#include <gtest/gtest.h>

#include "formats/meta/gps_text.h"
#include "formats/meta/resolution.h"

namespace vt {
namespace {

TEST(ParseResolution, ConvertsBetweenUnits) {
  auto parse = [](std::u16string_view t, ResolutionUnit u) {
    std::optional<Resolution> r = ParseResolution(t, u);
    return r ? std::pair<int, int>(r->x, r->y) : std::pair<int, int>(-1, -1);
  };
  using P = std::pair<int, int>;
  EXPECT_EQ(parse(u"300 x 300 ppi", ResolutionUnit::PerMetre), P(11811, 11811));
  EXPECT_EQ(parse(u"300 ppm", ResolutionUnit::PerMetre), P(300, 300));
  EXPECT_EQ(parse(u"300 x 200 ppi", ResolutionUnit::PerInch), P(300, 200));
  EXPECT_EQ(parse(u"2835 x 3780 ppm", ResolutionUnit::PerInch), P(72, 96));
  EXPECT_EQ(parse(u"  72x0ppi", ResolutionUnit::PerInch), P(72, 72));
  EXPECT_EQ(parse(u"72 x ppi", ResolutionUnit::PerInch), P(72, 72));
  EXPECT_EQ(parse(u"-5 ppm", ResolutionUnit::PerMetre), P(-5, -5));
}

TEST(ParseResolution, Failures) {
  for (std::u16string_view t : {u"", u"0 x 300 ppi", u"ppi", u"300", u"300 dpi", u"300 x 300",
                                u"300 x 300 ppi!", u"99999999999 ppm", u"2000000000 ppi"}) {
    EXPECT_FALSE(ParseResolution(t, ResolutionUnit::PerMetre).has_value());
  }
}

TEST(FormatResolution, RoundTripsThroughTheParser) {
  EXPECT_EQ(FormatResolution(300, 240, ResolutionUnit::PerInch), u"300 x 240 ppi");
  EXPECT_EQ(FormatResolution(3780, 3780, ResolutionUnit::PerMetre), u"3780 x 3780 ppm");
  std::optional<Resolution> r =
      ParseResolution(FormatResolution(300, 240, ResolutionUnit::PerInch), ResolutionUnit::PerInch);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->x, 300);
  EXPECT_EQ(r->y, 240);
}

TEST(GpsText, NormalisesAndRoundsOnce) {
  EXPECT_EQ(FormatGpsCoordinate(48.5, 0, 0, 'N'), "48°30'0.00\" N");
  EXPECT_EQ(FormatGpsCoordinate(48, 30.5, 0, 'N'), "48°30'30.00\" N");
  EXPECT_EQ(FormatGpsCoordinate(1, 59, 59.996, 'E'), "2°0'0.00\" E");
  EXPECT_EQ(FormatGpsCoordinate(0, 0, 7.25, 'S'), "0°0'7.25\" S");
  EXPECT_EQ(FormatGpsCoordinate(0, 0, 0, 0), "0°0'0.00\" ?");
  EXPECT_EQ(FormatGpsCoordinate(1.0 / 0.0, 0, 0, 'W'), "0°0'0.00\" W");
  EXPECT_EQ(FormatGpsAltitude(12.5, false), "+13m");
  EXPECT_EQ(FormatGpsAltitude(1e300, true), "-1000000000m");
}

}  // namespace
}  // namespace vt
