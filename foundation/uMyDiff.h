// The text comparer: finds the ranges in which two lists of lines differ,
// by a recursive longest-common-run search over hashed lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pellmor {

using TStringList = std::vector<std::string>;

// Lines [OldStart, OldEnd) of the first list correspond to lines
// [NewStart, NewEnd) of the second; one range may be empty, never both.
struct TTextDifference {
  int32_t OldStart = 0;
  int32_t OldEnd = 0;
  int32_t NewStart = 0;
  int32_t NewEnd = 0;
  bool operator==(const TTextDifference&) const = default;
};

class TCustomTextComparer {
 public:
  using THashLine = std::function<uint32_t(const std::string& line)>;
  using TCompareLines = std::function<bool(const std::string& a, const std::string& b)>;

  TCustomTextComparer() = default;
  virtual ~TCustomTextComparer() = default;

  // 0: always look for the longest run; N > 0: accept the first run of N lines or more.
  int32_t MatchThreshold = 0;
  // Used only when both are set; otherwise the exact-line defaults are used.
  THashLine OnHashLine;
  TCompareLines OnCompareLines;

  // Releases the differences (Count and capacity 0).
  void Clear();
  // Resizes the difference array, keeping its first entries; Count shrinks with it.
  // Raises "List capacity out of bounds (%d)" for a negative capacity.
  void SetCapacity(int32_t capacity);
  int32_t Count() const;
  // Raises "List index out of bounds (%d)" outside 0..Count()-1.
  const TTextDifference& Items(int32_t i) const;

  // Compares first with second and leaves the differences, in order of position.
  // Both lists are only read, and only during the call.
  void Execute(const TStringList& first, const TStringList& second);

 private:
  struct TFileInfo;    // one list's line hashes and hash chains, built per Execute
  struct TComparison;  // the two TFileInfo and the line handlers of one Execute

  // Appends the differences between old lines [oldStart, oldEnd) and new
  // lines [newStart, newEnd), in order of position.
  void FindDifferences(const TComparison& comparison, int32_t oldStart, int32_t oldEnd,
                       int32_t newStart, int32_t newEnd);
  void AddDifference(const TTextDifference& difference);

  std::vector<TTextDifference> differences_;  // size() is the capacity
  int32_t count_ = 0;
};

class TStandardTextComparer : public TCustomTextComparer {
 public:
  bool IgnoreCase = false;
  bool IgnoreAllSpace = false;
  bool CompressSpace = false;

  // Execute with the line handlers that the three options select; the
  // caller's handlers are restored afterwards, also when Execute fails.
  void Compare(const TStringList& first, const TStringList& second);
};

}  // namespace pellmor
