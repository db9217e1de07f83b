#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include "platform/charset.h"

namespace platform {
namespace {

std::string processCodeSet() {
  static const std::string name = [] {
    std::string cs;
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0))) {
      cs = nl_langinfo_l(CODESET, loc);
      freelocale(loc);
    }
    if (cs.empty() || cs == "ANSI_X3.4-1968" || cs == "ASCII" || cs == "US-ASCII") cs = "UTF-8";
    return cs;
  }();
  return name;
}

bool isUtf8Name(const std::string& n) {
  return strcasecmp(n.c_str(), "UTF-8") == 0 || strcasecmp(n.c_str(), "UTF8") == 0;
}

// Runs iconv over the whole input; an unconvertible or invalid unit is replaced
// by `replacement` (in the target encoding) and skipped by `skip` bytes.
std::string convert(const char* from, const char* to, const char* data, size_t size, size_t skip,
                    const std::string& replacement, bool* lossy) {
  std::string out;
  bool lost = false;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (lossy) *lossy = size != 0;
    return out;
  }
  char* in = const_cast<char*>(data);
  size_t inLeft = size;
  char buf[4096];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, size_t(o - buf));
    if (r == size_t(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace one unit and go on.
      lost = true;
      out += replacement;
      const size_t step = skip < inLeft ? skip : inLeft;
      in += step;
      inLeft -= step;
    } else if (r > 0) {
      lost = true;  // iconv made irreversible substitutions itself
    }
  }
  iconv_close(cd);
  if (lossy) *lossy = lost;
  return out;
}

std::u16string fromBytes(const std::string& s) {
  std::u16string out(s.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = char16_t(uint8_t(s[2 * i]) | (uint16_t(uint8_t(s[2 * i + 1])) << 8));
  return out;
}

std::string toBytes(const std::u16string& s) {
  std::string out(s.size() * 2, '\0');
  for (size_t i = 0; i < s.size(); ++i) {
    out[2 * i] = char(s[i] & 0xFF);
    out[2 * i + 1] = char(s[i] >> 8);
  }
  return out;
}


// iconv's name of the code set.
std::string nameOf(uint32_t codePage) {
  if (codePage == 0) return processCodeSet();
  return codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
}

}  // namespace

bool CodeSet::isUtf8() const { return isUtf8Name(nameOf(codePage_)); }

std::u16string CodeSet::toUtf16(const std::string& ansi, bool* lossy) const {
  if (isUtf8()) return utf8ToUtf16(ansi, lossy);
  const std::string cs = nameOf(codePage_);
  return fromBytes(convert(cs.c_str(), "UTF-16LE", ansi.data(), ansi.size(), 1, std::string("\xFD\xFF", 2), lossy));
}

std::string CodeSet::fromUtf16(const std::u16string& text, bool* lossy) const {
  if (isUtf8()) return utf16ToUtf8(text, lossy);
  const std::string bytes = toBytes(text);
  const std::string cs = nameOf(codePage_);
  return convert("UTF-16LE", cs.c_str(), bytes.data(), bytes.size(), 2, "?", lossy);
}

}  // namespace platform
