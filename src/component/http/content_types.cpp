#include "component/http/content_types.h"

#include <cctype>

namespace component {
namespace {

// Rows grouped by type, in the order the types were first added; the first
// match wins, so the duplicate rows (hqx, Z/z) are harmless.
const ContentTypeRow kRows[] = {
    {"abs", "audio/x-mpeg"},
    {"mp1", "audio/x-mpeg"},
    {"mp2", "audio/x-mpeg"},
    {"mp3", "audio/x-mpeg"},
    {"mpa", "audio/x-mpeg"},
    {"mpega", "audio/x-mpeg"},
    {"ai", "application/postscript"},
    {"eps", "application/postscript"},
    {"ps", "application/postscript"},
    {"aif", "audio/x-aiff"},
    {"aifc", "audio/x-aiff"},
    {"aiff", "audio/x-aiff"},
    {"aim", "application/x-aim"},
    {"art", "image/x-jg"},
    {"asf", "video/x-ms-asf"},
    {"asx", "video/x-ms-asf"},
    {"au", "audio/basic"},
    {"snd", "audio/basic"},
    {"ulw", "audio/basic"},
    {"avi", "video/x-msvideo"},
    {"avx", "video/x-rad-screenplay"},
    {"bcpio", "application/x-bcpio"},
    {"bin", "application/octet-stream"},
    {"exe", "application/octet-stream"},
    {"bmp", "image/bmp"},
    {"dib", "image/bmp"},
    {"body", "text/html"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"cdf", "application/x-cdf"},
    {"cer", "application/x-x509-ca-cert"},
    {"class", "application/java"},
    {"cpio", "application/x-cpio"},
    {"csh", "application/x-csh"},
    {"css", "text/css"},
    {"doc", "application/msword"},
    {"dtd", "text/plain"},
    {"java", "text/plain"},
    {"txt", "text/plain"},
    {"dv", "video/x-dv"},
    {"dvi", "application/x-dvi"},
    {"etx", "text/x-setext"},
    {"gif", "image/gif"},
    {"gtar", "application/x-gtar"},
    {"gz", "application/x-gzip"},
    {"hdf", "application/x-hdf"},
    {"hqx", "application/mac-binhex40"},
    {"hqx", "application/mac-binhex40"},
    {"htc", "text/x-component"},
    {"ief", "image/ief"},
    {"jad", "text/vnd.sun.j2me.app-descriptor"},
    {"jar", "application/java-archive"},
    {"jnlp", "application/x-java-jnlp-file"},
    {"jpe", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"js", "text/javascript"},
    {"kar", "audio/x-midi"},
    {"mid", "audio/x-midi"},
    {"midi", "audio/x-midi"},
    {"smf", "audio/x-midi"},
    {"latex", "application/x-latex"},
    {"m3u", "audio/x-mpegurl"},
    {"mac", "image/x-macpaint"},
    {"pnt", "image/x-macpaint"},
    {"man", "application/x-troff-man"},
    {"me", "application/x-troff-me"},
    {"mif", "application/x-mif"},
    {"mov", "video/quicktime"},
    {"qt", "video/quicktime"},
    {"movie", "video/x-sgi-movie"},
    {"mpe", "video/mpeg"},
    {"mpeg", "video/mpeg"},
    {"mpg", "video/mpeg"},
    {"mpv2", "video/mpeg2"},
    {"ms", "application/x-wais-source"},
    {"src", "application/x-wais-source"},
    {"nc", "application/x-netcdf"},
    {"oda", "application/oda"},
    {"pbm", "image/x-portable-bitmap"},
    {"pct", "image/pict"},
    {"pic", "image/pict"},
    {"pict", "image/pict"},
    {"pdf", "application/pdf"},
    {"pgm", "image/x-portable-graymap"},
    {"pls", "audio/x-scpls"},
    {"png", "image/png"},
    {"pnm", "image/x-portable-anymap"},
    {"ppm", "image/x-portable-pixmap"},
    {"psd", "image/x-photoshop"},
    {"qti", "image/x-quicktime"},
    {"qtif", "image/x-quicktime"},
    {"ras", "image/x-cmu-raster"},
    {"rgb", "image/x-rgb"},
    {"rm", "application/vnd.rn-realmedia"},
    {"roff", "application/x-troff"},
    {"t", "application/x-troff"},
    {"tr", "application/x-troff"},
    {"rtf", "application/rtf"},
    {"rtx", "text/richtext"},
    {"sh", "application/x-sh"},
    {"shar", "application/x-shar"},
    {"sv4cpio", "application/x-sv4cpio"},
    {"sv4crc", "application/x-sv4crc"},
    {"swf", "application/x-shockwave-flash"},
    {"tar", "application/x-tar"},
    {"tcl", "application/x-tcl"},
    {"tex", "application/x-tex"},
    {"texi", "application/x-texinfo"},
    {"texinfo", "application/x-texinfo"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"tsv", "text/tab-separated-values"},
    {"ustar", "application/x-ustar"},
    {"xbm", "image/x-xbitmap"},
    {"xpm", "image/x-xpixmap"},
    {"xwd", "image/x-xwindowdump"},
    {"wav", "audio/x-wav"},
    {"wbmp", "image/vnd.wap.wbmp"},
    {"wml", "text/vnd.wap.wml"},
    {"wmlc", "application/vnd.wap.wmlc"},
    {"wmls", "text/vnd.wap.wmls"},
    {"wmlscriptc", "application/vnd.wap.wmlscriptc"},
    {"wrl", "x-world/x-vrml"},
    {"Z", "application/x-compress"},
    {"z", "application/x-compress"},
    {"zip", "application/zip"},
    {"xml", "text/xml"},
};

constexpr const char* kDefaultType = "application/octet-stream";

bool sameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

}  // namespace

const char* contentTypeForExtension(const char* extension) {
  if (!extension) return kDefaultType;
  for (const ContentTypeRow& row : kRows) {
    if (sameIgnoringCase(row.extension, extension)) return row.type;
  }
  return kDefaultType;
}

const ContentTypeRow* contentTypeTable(size_t* rows) {
  *rows = sizeof(kRows) / sizeof(kRows[0]);
  return kRows;
}

}  // namespace component
