#include "scan/uMyFileUtils.h"

#include <locale.h>
#include <wctype.h>

#include <vector>

#include "foundation/AsciiText.h"
#include "foundation/Platform.h"
#include "foundation/Utf8.h"

namespace pellmor {

namespace {

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
  return UpperCaseAscii(name).find(UpperCaseAscii(text)) != std::string::npos;
}

// '*' matches any run of bytes, '?' any one byte; letters ASCII case-insensitive.
bool MatchesMask(const std::string& name, const std::string& mask) {
  if (mask == "*" || mask == "*.*") return true;
  size_t n = 0, m = 0;
  size_t starMask = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || UpperCaseAscii(mask[m]) == UpperCaseAscii(name[n]))) {
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
  Pattern = TrimBlanks(pattern);
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
      return SameNameAscii(name, MatchText);
    case mkEndsWith:
      return name.size() >= length &&
             SameNameAscii(std::string_view(name).substr(name.size() - length), MatchText);
    case mkStartsWith:
      return name.size() >= length &&
             SameNameAscii(std::string_view(name).substr(0, length), MatchText);
    case mkContains:
      return ContainsIgnoringCase(name, MatchText);
  }
  return false;
}

TFileIgnoreObject* TFileIgnoreList::AddPattern(const std::string& pattern) {
  if (TrimBlanks(pattern).empty()) return nullptr;
  return Add(std::make_unique<TFileIgnoreObject>(pattern));
}

bool TFileIgnoreList::MatchesAny(const std::string& name) const {
  for (const auto& pattern : *this)
    if (pattern->Matches(name)) return true;
  return false;
}

std::unique_ptr<TFolderObject> ScanFolderTree(const std::string& path, const std::string& mask,
                                              bool recursive, const TFileIgnoreList* ignoreList,
                                              TWatchedListings* listings) {
  auto root = std::make_unique<TFolderObject>();
  root->SetName(path);
  if (listings != nullptr) listings->Refresh();
  ScanFolder(*root, mask, recursive, ignoreList, listings);
  return root;
}

void ScanFolder(TFolderObject& folder, const std::string& mask, bool recursive,
                const TFileIgnoreList* ignoreList, TWatchedListings* listings) {
  std::vector<TFolderEntry> scratch;
  const std::vector<uint64_t>* unchangedSince = nullptr;
  // The root "/" has the empty Name; listing Name + '/' covers it too.
  const std::string path = folder.GetFullPath() + '/';
  const std::vector<TFolderEntry>* entries = listings != nullptr
                                                 ? listings->List(path, scratch, &unchangedSince)
                                                 : (ListFolder(path, scratch) ? &scratch : nullptr);
  if (entries == nullptr) return;
  for (size_t i = 0; i < entries->size(); ++i) {
    const TFolderEntry& entry = (*entries)[i];
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
    if (unchangedSince != nullptr) node->UnchangedSince = (*unchangedSince)[i];
    if (recursive && subFolder != nullptr)
      ScanFolder(*subFolder, mask, recursive, ignoreList, listings);
  }
}

}  // namespace pellmor
