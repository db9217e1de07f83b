#include "component/http/content_types.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The published list: each type, then its extensions.
const char* const kExpected[] = {
    "audio/x-mpeg abs mp1 mp2 mp3 mpa mpega", "application/postscript ai eps ps", "audio/x-aiff aif aifc aiff",
    "application/x-aim aim", "image/x-jg art", "video/x-ms-asf asf asx", "audio/basic au snd ulw",
    "video/x-msvideo avi", "video/x-rad-screenplay avx", "application/x-bcpio bcpio",
    "application/octet-stream bin exe", "image/bmp bmp dib", "text/html body htm html", "application/x-cdf cdf",
    "application/x-x509-ca-cert cer", "application/java class", "application/x-cpio cpio", "application/x-csh csh",
    "text/css css", "application/msword doc", "text/plain dtd java txt", "video/x-dv dv", "application/x-dvi dvi",
    "text/x-setext etx", "image/gif gif", "application/x-gtar gtar", "application/x-gzip gz", "application/x-hdf hdf",
    "application/mac-binhex40 hqx hqx", "text/x-component htc", "image/ief ief",
    "text/vnd.sun.j2me.app-descriptor jad", "application/java-archive jar", "application/x-java-jnlp-file jnlp",
    "image/jpeg jpe jpeg jpg", "text/javascript js", "audio/x-midi kar mid midi smf", "application/x-latex latex",
    "audio/x-mpegurl m3u", "image/x-macpaint mac pnt", "application/x-troff-man man", "application/x-troff-me me",
    "application/x-mif mif", "video/quicktime mov qt", "video/x-sgi-movie movie", "video/mpeg mpe mpeg mpg",
    "video/mpeg2 mpv2", "application/x-wais-source ms src", "application/x-netcdf nc", "application/oda oda",
    "image/x-portable-bitmap pbm", "image/pict pct pic pict", "application/pdf pdf", "image/x-portable-graymap pgm",
    "audio/x-scpls pls", "image/png png", "image/x-portable-anymap pnm", "image/x-portable-pixmap ppm",
    "image/x-photoshop psd", "image/x-quicktime qti qtif", "image/x-cmu-raster ras", "image/x-rgb rgb",
    "application/vnd.rn-realmedia rm", "application/x-troff roff t tr", "application/rtf rtf", "text/richtext rtx",
    "application/x-sh sh", "application/x-shar shar", "application/x-sv4cpio sv4cpio", "application/x-sv4crc sv4crc",
    "application/x-shockwave-flash swf", "application/x-tar tar", "application/x-tcl tcl", "application/x-tex tex",
    "application/x-texinfo texi texinfo", "image/tiff tif tiff", "text/tab-separated-values tsv",
    "application/x-ustar ustar", "image/x-xbitmap xbm", "image/x-xpixmap xpm", "image/x-xwindowdump xwd",
    "audio/x-wav wav", "image/vnd.wap.wbmp wbmp", "text/vnd.wap.wml wml", "application/vnd.wap.wmlc wmlc",
    "text/vnd.wap.wmls wmls", "application/vnd.wap.wmlscriptc wmlscriptc", "x-world/x-vrml wrl",
    "application/x-compress Z z", "application/zip zip", "text/xml xml",
};

struct Row {
  std::string extension, type;
};

std::vector<Row> expectedRows() {
  std::vector<Row> rows;
  for (const char* line : kExpected) {
    std::istringstream in(line);
    std::string type, extension;
    in >> type;
    while (in >> extension) rows.push_back({extension, type});
  }
  return rows;
}

TEST(ContentTypeForExtension, FindsEveryExtensionOfTheListInAnyLetterCase) {
  size_t rows = 0;
  component::contentTypeTable(&rows);
  EXPECT_EQ(rows, expectedRows().size()) << "the table holds the list and nothing else";
  for (const Row& row : expectedRows()) {
    std::string upper = row.extension;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(component::contentTypeForExtension(row.extension.c_str()), row.type) << row.extension;
    EXPECT_EQ(component::contentTypeForExtension(upper.c_str()), row.type) << row.extension;
  }
  EXPECT_STREQ(component::contentTypeForExtension("JpG"), "image/jpeg");
}

TEST(ContentTypeForExtension, UnknownEmptyOrNearMissGivesOctetStream) {
  for (const char* ext : {"heic", "", "jp", "jpgx", "xmlz", "webp", "tx"}) {
    EXPECT_STREQ(component::contentTypeForExtension(ext), "application/octet-stream") << ext;
  }
  EXPECT_STREQ(component::contentTypeForExtension(nullptr), "application/octet-stream");
}

}  // namespace
