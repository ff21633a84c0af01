#include "formats/builtin_formats.h"

#include <mutex>

#include "formats/bmp/bmp_reader.h"
#include "formats/dds/dds_reader.h"
#include "formats/fits/fits_reader.h"
#include "formats/gif/gif_reader.h"
#include "formats/hdr/hdr_reader.h"
#include "formats/ico/ico_reader.h"
#include "formats/iff/iff_reader.h"
#include "formats/jpeg/jpeg_reader.h"
#include "formats/pcx/pcx_reader.h"
#include "formats/png/png_reader.h"
#include "formats/psd/psd_reader.h"
#include "formats/tga/tga_reader.h"
#include "formats/webp/webp_library.h"
#include "formats/webp/webp_reader.h"

namespace vt {

namespace {

// Readers that are built in. A group whose entry is still empty keeps its records
// in the table (so the format list is complete) but every lookup skips them.
// Probing asks the readers with long signatures first; bitmaps ("BM"), JPEG
// (two bytes, perhaps after a preamble) and icons (a six-byte header and the
// name) next; PC Paintbrush (one byte and plausible values) and TARGA (no
// signature at all) last.
constexpr ProbePriority kLong = ProbePriority::kSignature;
constexpr ProbePriority kShort = ProbePriority::kShortSignature;
constexpr ProbePriority kWeak = ProbePriority::kPlausibility;
constexpr ReaderEntry kBmpReader{ProbeBmp, CreateBmpReader, kShort};
constexpr ReaderEntry kDdsReader{ProbeDds, CreateDdsReader, kLong};
constexpr ReaderEntry kFitsReader{ProbeFits, CreateFitsReader, kLong};
constexpr ReaderEntry kGifReader{ProbeGif, CreateGifReader, kLong};
constexpr ReaderEntry kHdrReader{ProbeHdr, CreateHdrReader, kLong};
constexpr ReaderEntry kIcoReader{ProbeIco, CreateIcoReader, kShort};
constexpr ReaderEntry kIffReader{ProbeIff, CreateIffReader, kLong};
constexpr ReaderEntry kJpegReader{ProbeJpeg, CreateJpegReader, kShort};
constexpr ReaderEntry kPcxReader{ProbePcx, CreatePcxReader, kWeak};
constexpr ReaderEntry kPngReader{ProbePng, CreatePngReader, kLong};
constexpr ReaderEntry kPsdReader{ProbePsd, CreatePsdReader, kLong};
constexpr ReaderEntry kTgaReader{ProbeTga, CreateTgaReader, kWeak};
constexpr ReaderEntry kTiffReader{};
constexpr ReaderEntry kWebpReader{ProbeWebp, CreateWebpReader, kLong};

FormatRecord g_bmp[] = {
    {u"bmp", u"Windows bitmap format"},
    {u"dib", u"Windows Device Independent bitmap"},
    {u"rle", u"Windows RLE compressed bitmap"},
};
FormatRecord g_dds[] = {{u"dds", u"DirectDraw surface"}};
FormatRecord g_fits[] = {
    {u"fit", u"Flexible image transport system"},
    {u"fits", u"Flexible image transport system"},
};
FormatRecord g_gif[] = {{u"gif", u"Graphics interchange format"}};
FormatRecord g_hdr[] = {
    {u"hdr", u"Radiance RGBE image format"},
    {u"img", u"Radiance RGBE image format"},
    {u"pic", u"Radiance RGBE image format"},
};
FormatRecord g_ico[] = {
    {u"cur", u"Windows 光标"},
    {u"ico", u"Windows 图标"},
};
FormatRecord g_iff[] = {
    {u"bbm", u"DeluxePaint brush"},
    {u"iff", u"Interchange file format"},
    {u"lbm", u"DeluxePaint bitmap"},
};
FormatRecord g_jpeg[] = {
    {u"jfif", u"JPEG image file"}, {u"jif", u"JPEG image file"}, {u"jpe", u"JPEG image file"},
    {u"jpeg", u"JPEG image file"}, {u"jpg", u"JPEG image file"},
};
FormatRecord g_pcx[] = {{u"pcx", u"PC Paintbrush image"}};
FormatRecord g_png[] = {{u"png", u"Portable network graphics"}};
FormatRecord g_psd[] = {{u"psd", u"PhotoShop format"}};
FormatRecord g_tga[] = {{u"tga", u"TARGA format"}};
FormatRecord g_tiff[] = {
    {u"tif", u"Tag image file format"},
    {u"tiff", u"Tag image file format"},
};
FormatRecord g_webp[] = {{u"webp", u"Google WebP file format"}};

const FormatGroup kGroups[] = {
    {"bmp", g_bmp},   {"dds", g_dds}, {"fits", g_fits}, {"gif", g_gif}, {"hdr", g_hdr},
    {"ico", g_ico},   {"iff", g_iff}, {"jpeg", g_jpeg}, {"pcx", g_pcx}, {"png", g_png},
    {"psd", g_psd},   {"tga", g_tga}, {"tiff", g_tiff}, {"webp", g_webp},
};
const ReaderEntry* const kEntries[] = {
    &kBmpReader, &kDdsReader, &kFitsReader, &kGifReader, &kHdrReader, &kIcoReader, &kIffReader,
    &kJpegReader, &kPcxReader, &kPngReader, &kPsdReader, &kTgaReader, &kTiffReader, &kWebpReader,
};
static_assert(std::size(kGroups) == std::size(kEntries));

void AttachReaders() {
  for (size_t g = 0; g < std::size(kGroups); ++g) {
    for (FormatRecord& r : kGroups[g].records) {
      r.probe = kEntries[g]->probe;
      r.create = kEntries[g]->create;
      r.priority = kEntries[g]->priority;
    }
  }
}

}  // namespace

void RegisterBuiltinFormats(FormatRegistry& registry) {
  static std::once_flag attached;
  std::call_once(attached, AttachReaders);
  for (const FormatGroup& g : kGroups) {
    for (const FormatRecord& r : g.records) registry.Register(&r);
  }
}

std::span<const FormatGroup> BuiltinFormatGroups() { return kGroups; }

std::u16string MissingLibraryPath() { return GetWebpLibrary() ? std::u16string() : WebpLibraryPath(); }

}  // namespace vt
