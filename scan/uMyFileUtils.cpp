#include "scan/uMyFileUtils.h"

#include <locale.h>
#include <wctype.h>

#include <vector>

#include "foundation/Platform.h"

namespace pellmor {

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextAscii(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

// Strict UTF-8 decoding (no overlong forms, no surrogates, nothing above
// U+10FFFF); false for anything else.
bool DecodeUtf8(const std::string& text, std::u32string& out) {
  out.clear();
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char lead = *p++;
    if (lead < 0x80) {
      out.push_back(lead);
      continue;
    }
    int extra;
    char32_t cp;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (end - p < extra) return false;
    for (int i = 0; i < extra; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (*p & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    out.push_back(cp);
  }
  return true;
}

// Unicode upper-casing that does not depend on the locale the process runs in.
char32_t UpperCodePoint(char32_t cp) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return static_cast<char32_t>(utf8 ? towupper_l(static_cast<wint_t>(cp), utf8)
                                    : towupper(static_cast<wint_t>(cp)));
}

bool ContainsIgnoringCase(const std::string& name, const std::string& text) {
  std::u32string wideName, wideText;
  if (DecodeUtf8(name, wideName) && DecodeUtf8(text, wideText)) {
    for (char32_t& cp : wideName) cp = UpperCodePoint(cp);
    for (char32_t& cp : wideText) cp = UpperCodePoint(cp);
    return wideName.find(wideText) != std::u32string::npos;
  }
  std::string upperName = name, upperText = text;
  for (char& c : upperName) c = UpperAscii(c);
  for (char& c : upperText) c = UpperAscii(c);
  return upperName.find(upperText) != std::string::npos;
}

std::string Trim(const std::string& text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t first = 0, last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// '*' matches any run of bytes, '?' any one byte; letters ASCII case-insensitive.
bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask == "*" || mask == "*.*") return true;
  size_t n = 0, m = 0;
  size_t starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || UpperAscii(mask[m]) == UpperAscii(name[n]))) {
      ++n, ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

void TFileObject::SetName(const std::string& name) { Name = name; }

void TFolderObject::SetName(const std::string& name) {
  if (!name.empty() && name.back() == '/')
    Name = name.substr(0, name.size() - 1);
  else
    Name = name;
}

std::string TFileObject::GetFullPath() const {
  std::vector<const TFileObject*> chain;
  for (const TFileObject* node = this; node != nullptr; node = node->Parent) chain.push_back(node);
  std::string path = chain.back()->Name;
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) path += '/' + (*it)->Name;
  return path;
}

std::string TFileObject::GetRelativePath() const {
  if (Parent == nullptr) return Name;
  std::vector<const TFileObject*> chain;
  for (const TFileObject* node = this; node->Parent != nullptr; node = node->Parent)
    chain.push_back(node);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) path += '\\';
    path += (*it)->Name;
  }
  return path;
}

void TFileIgnoreObject::SetPattern(const std::string& pattern) {
  Pattern = Trim(pattern);
  MatchKind = mkExact;
  MatchText = Pattern;
  const size_t length = Pattern.size();
  if (length > 2) {
    const bool leading = Pattern.front() == '*';
    const bool trailing = Pattern.back() == '*';
    if (leading && trailing) {
      MatchKind = mkContains;
      MatchText = Pattern.substr(1, length - 2);
    } else if (leading) {
      MatchKind = mkEndsWith;
      MatchText = Pattern.substr(1);
    } else if (trailing) {
      MatchKind = mkStartsWith;
      MatchText = Pattern.substr(0, length - 1);
    }
  }
  MatchTextLength = static_cast<int32_t>(MatchText.size());
}

bool TFileIgnoreObject::Matches(const std::string& name) const {
  const size_t length = MatchText.size();
  switch (MatchKind) {
    case mkExact:
      return name.size() == length && SameTextAscii(name.data(), MatchText.data(), length);
    case mkEndsWith:
      return name.size() >= length &&
             SameTextAscii(name.data() + name.size() - length, MatchText.data(), length);
    case mkStartsWith:
      return name.size() >= length && SameTextAscii(name.data(), MatchText.data(), length);
    case mkContains:
      return ContainsIgnoringCase(name, MatchText);
  }
  return false;
}

TFileIgnoreObject* TFileIgnoreList::AddPattern(const std::string& pattern) {
  if (Trim(pattern).empty()) return nullptr;
  return Add(std::make_unique<TFileIgnoreObject>(pattern));
}

bool TFileIgnoreList::MatchesAny(const std::string& name) const {
  for (const auto& pattern : *this)
    if (pattern->Matches(name)) return true;
  return false;
}

std::unique_ptr<TFolderObject> ScanFolderTree(const std::string& path, const std::string& mask,
                                              bool recursive, const TFileIgnoreList* ignoreList) {
  auto root = std::make_unique<TFolderObject>();
  root->SetName(path);
  ScanFolder(*root, mask, recursive, ignoreList);
  return root;
}

void ScanFolder(TFolderObject& folder, const std::string& mask, bool recursive,
                const TFileIgnoreList* ignoreList) {
  std::vector<TFolderEntry> entries;
  // The root "/" has the empty Name; listing Name + '/' covers it too.
  if (!ListFolder(folder.GetFullPath() + '/', entries)) return;
  for (const TFolderEntry& entry : entries) {
    if (!MatchesMask(entry.Name, mask)) continue;
    if (ignoreList != nullptr && ignoreList->MatchesAny(entry.Name)) continue;
    TFileObject* node;
    TFolderObject* subFolder = nullptr;
    if (entry.Info.Attributes & kAttrDirectory)
      node = subFolder = folder.Folders.Add(std::make_unique<TFolderObject>(&folder));
    else
      node = folder.Files.Add(std::make_unique<TFileObject>(&folder));
    node->SetName(entry.Name);
    node->Attributes = entry.Info.Attributes;
    node->CreationTime = entry.Info.CreationTime;
    node->LastAccessTime = entry.Info.LastAccessTime;
    node->LastWriteTime = entry.Info.LastWriteTime;
    node->Stamp = entry.Info.Stamp;
    if (recursive && subFolder != nullptr) ScanFolder(*subFolder, mask, recursive, ignoreList);
  }
}

}  // namespace pellmor
