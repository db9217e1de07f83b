#include <windows.h>

#include "platform/charset.h"

namespace platform {
namespace {

UINT pageOf(uint32_t codePage) { return codePage ? UINT(codePage) : GetACP(); }

}  // namespace

bool CodeSet::isUtf8() const { return pageOf(codePage_) == CP_UTF8; }

std::u16string CodeSet::toUtf16(const std::string& ansi, bool* lossy) const {
  if (isUtf8()) return utf8ToUtf16(ansi, lossy);
  if (lossy) *lossy = false;
  if (ansi.empty()) return std::u16string();
  const UINT cp = pageOf(codePage_);
  int n = MultiByteToWideChar(cp, 0, ansi.data(), int(ansi.size()), nullptr, 0);
  std::u16string out(size_t(n > 0 ? n : 0), u'\0');
  if (n > 0) MultiByteToWideChar(cp, 0, ansi.data(), int(ansi.size()), reinterpret_cast<wchar_t*>(&out[0]), n);
  else if (lossy) *lossy = true;
  return out;
}

std::string CodeSet::fromUtf16(const std::u16string& text, bool* lossy) const {
  if (isUtf8()) return utf16ToUtf8(text, lossy);
  if (lossy) *lossy = false;
  if (text.empty()) return std::string();
  const UINT cp = pageOf(codePage_);
  const auto* w = reinterpret_cast<const wchar_t*>(text.data());
  BOOL usedDefault = FALSE;
  // Without WC_NO_BEST_FIT_CHARS Windows writes look-alikes (U+0100 as 'A') and
  // does not report them: the text would pass as fitting the code page, and a
  // path converted that way names a different file.
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  int n = WideCharToMultiByte(cp, flags, w, int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(cp, flags, w, int(text.size()), &out[0], n, nullptr, &usedDefault);
  if (lossy) *lossy = usedDefault != FALSE || n <= 0;
  return out;
}

}  // namespace platform
