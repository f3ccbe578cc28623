#include "foundation/uMyDiff.h"

#include <cstdlib>
#include <utility>

#include "foundation/AsciiText.h"
#include "foundation/Exception.h"

namespace pellmor {

namespace {

uint32_t DefaultHash(const std::string& line) {
  auto h = static_cast<uint32_t>(line.size());
  for (const char c : line) h = h * 19 + static_cast<uint8_t>(c);
  return h;
}

bool IsWhiteSpace(char c) { return c == 0 || c == 9 || c == 10 || c == 13 || c == 32; }

struct TLineForm {
  bool ignoreCase;
  bool removeSpace;
  bool compressSpace;

  std::string operator()(const std::string& line) const {
    std::string formed;
    formed.reserve(line.size());
    bool pendingSpace = false;
    for (const char c : line) {
      if (IsWhiteSpace(c) && (removeSpace || compressSpace)) {
        // A run becomes one space only once something follows it; leading
        // and trailing runs vanish.
        pendingSpace = compressSpace && !removeSpace && !formed.empty();
        continue;
      }
      if (pendingSpace) formed += ' ';
      pendingSpace = false;
      formed += ignoreCase ? LowerCaseAscii(c) : c;
    }
    return formed;
  }
};

// Fewer than this many lines keep every chain index within 32 bits.
constexpr size_t kMaxLines = INT32_MAX / 2;

int64_t Distance(int64_t a, int64_t b) { return std::llabs(a - b); }

}  // namespace

struct TCustomTextComparer::TFileInfo {
  const TStringList* Lines;
  int32_t Count;
  std::vector<uint32_t> Hashes;
  // Nodes 0..Count-1 are the bucket heads, Count..2*Count-1 the overflow
  // nodes; each chain lists its lines from the highest index to the lowest.
  std::vector<int32_t> NodeLine;
  std::vector<int32_t> NodeNext;

  TFileInfo(const TStringList& lines, const THashLine* hash) : Lines(&lines) {
    if (lines.size() > kMaxLines)
      throw Exception(Format("Too many lines to compare (%zu)", lines.size()));
    Count = static_cast<int32_t>(lines.size());
    const auto n = static_cast<size_t>(Count);
    Hashes.assign(n, 0);
    NodeLine.assign(2 * n, -1);
    NodeNext.assign(2 * n, -1);
    for (size_t i = 0; i < n; ++i) Hashes[i] = hash ? (*hash)(lines[i]) : DefaultHash(lines[i]);
    int32_t overflow = Count - 1;
    for (int32_t i = 0; i < Count; ++i) {
      const int32_t bucket = static_cast<int32_t>(Hashes[i] % static_cast<uint32_t>(Count));
      if (NodeLine[bucket] != -1) {
        ++overflow;
        NodeLine[overflow] = NodeLine[bucket];
        NodeNext[overflow] = NodeNext[bucket];
        NodeNext[bucket] = overflow;
      }
      NodeLine[bucket] = i;
    }
  }
};

struct TCustomTextComparer::TComparison {
  TFileInfo Old;
  TFileInfo New;
  const TCompareLines* Compare;  // null: lines are equal when identical

  TComparison(const TStringList& first, const TStringList& second, const THashLine* hash,
              const TCompareLines* compare)
      : Old(first, hash), New(second, hash), Compare(compare) {}

  bool LinesEqual(int32_t oldLine, int32_t newLine) const {
    const std::string& a = (*Old.Lines)[oldLine];
    const std::string& b = (*New.Lines)[newLine];
    return Compare ? (*Compare)(a, b) : a == b;
  }

  // Length of the run of equal lines starting at oldPos and newPos, or 0 when
  // the run of equal hashes there is already shorter than best.
  int32_t MatchLength(int32_t oldPos, int32_t oldEnd, int32_t newPos, int32_t newEnd,
                      int32_t best) const {
    int32_t k = 1;
    while (oldPos + k < oldEnd && newPos + k < newEnd &&
           Old.Hashes[oldPos + k] == New.Hashes[newPos + k])
      ++k;
    if (k < best) return 0;
    int32_t m = 0;
    while (m < k && LinesEqual(oldPos + m, newPos + m)) ++m;
    return m;
  }
};

namespace {

struct TRange {
  int32_t oldStart, oldEnd, newStart, newEnd;

  bool OldEmpty() const { return oldStart >= oldEnd; }
  bool NewEmpty() const { return newStart >= newEnd; }
  // How unevenly a run starting at (o, w) splits the two ranges.
  int64_t Imbalance(int32_t o, int32_t w) const {
    return Distance(o - oldStart, w - newStart) + Distance(oldEnd - o, newEnd - w);
  }
};

struct TRun {
  int32_t length = 0;
  int32_t oldPos = -1;
  int32_t newPos = -1;
};

}  // namespace

void TCustomTextComparer::FindDifferences(const TComparison& comparison, int32_t oldStart,
                                          int32_t oldEnd, int32_t newStart, int32_t newEnd) {
  // The stretch before a run must be finished before the stretch after it, so
  // the pending ranges form a stack: after first, before on top. Unlike
  // recursion, its depth is bounded by memory, not by the thread's stack.
  std::vector<TRange> pending{{oldStart, oldEnd, newStart, newEnd}};
  while (!pending.empty()) {
    const TRange range = pending.back();
    pending.pop_back();
    if (!range.OldEmpty() && !range.NewEmpty()) {
      // Scan the shorter range and probe the longer one's hash chains.
      const bool scanOld = range.oldEnd - range.oldStart < range.newEnd - range.newStart;
      const TFileInfo& scan = scanOld ? comparison.Old : comparison.New;
      const TFileInfo& probe = scanOld ? comparison.New : comparison.Old;
      const int32_t scanStart = scanOld ? range.oldStart : range.newStart;
      const int32_t scanEnd = scanOld ? range.oldEnd : range.newEnd;
      const int32_t probeStart = scanOld ? range.newStart : range.oldStart;
      const int32_t probeEnd = scanOld ? range.newEnd : range.oldEnd;

      TRun best;
      bool accepted = false;
      for (int32_t i = scanStart; !accepted && i < scanEnd - best.length; ++i) {
        const uint32_t hash = scan.Hashes[i];
        for (int32_t node = static_cast<int32_t>(hash % static_cast<uint32_t>(probe.Count));
             node != -1 && !accepted; node = probe.NodeNext[node]) {
          const int32_t j = probe.NodeLine[node];
          if (j < probeStart) break;  // the rest of the chain lies lower still
          if (j + best.length > probeEnd || probe.Hashes[j] != hash) continue;
          // Cheap test of the would-be last line before comparing any text.
          if (best.length > 0 &&
              scan.Hashes[i + best.length - 1] != probe.Hashes[j + best.length - 1])
            continue;
          const int32_t o = scanOld ? i : j;
          const int32_t w = scanOld ? j : i;
          const int32_t d = comparison.MatchLength(o, range.oldEnd, w, range.newEnd, best.length);
          if (d > best.length ||
              (d == best.length && d > 0 &&
               range.Imbalance(o, w) < range.Imbalance(best.oldPos, best.newPos))) {
            best = {d, o, w};
            accepted = MatchThreshold > 0 && best.length >= MatchThreshold;
          }
        }
      }
      if (best.length > 0) {
        pending.push_back(
            {best.oldPos + best.length, range.oldEnd, best.newPos + best.length, range.newEnd});
        pending.push_back({range.oldStart, best.oldPos, range.newStart, best.newPos});
        continue;
      }
    }
    if (!range.OldEmpty() || !range.NewEmpty())
      AddDifference({range.oldStart, range.oldEnd, range.newStart, range.newEnd});
  }
}

void TCustomTextComparer::AddDifference(const TTextDifference& difference) {
  if (count_ == static_cast<int32_t>(differences_.size())) SetCapacity(count_ + 32);
  differences_[static_cast<size_t>(count_)] = difference;
  ++count_;
}

void TCustomTextComparer::Clear() {
  std::vector<TTextDifference>().swap(differences_);
  count_ = 0;
}

void TCustomTextComparer::SetCapacity(int32_t capacity) {
  if (capacity < 0) throw Exception(Format("List capacity out of bounds (%d)", capacity));
  differences_.resize(static_cast<size_t>(capacity));
  if (count_ > capacity) count_ = capacity;
}

int32_t TCustomTextComparer::Count() const { return count_; }

const TTextDifference& TCustomTextComparer::Items(int32_t i) const {
  if (i < 0 || i >= count_) throw Exception(Format("List index out of bounds (%d)", i));
  return differences_[static_cast<size_t>(i)];
}

void TCustomTextComparer::Execute(const TStringList& first, const TStringList& second) {
  Clear();
  const bool custom = OnHashLine && OnCompareLines;
  const TComparison comparison(first, second, custom ? &OnHashLine : nullptr,
                               custom ? &OnCompareLines : nullptr);
  FindDifferences(comparison, 0, comparison.Old.Count, 0, comparison.New.Count);
}

void TStandardTextComparer::Compare(const TStringList& first, const TStringList& second) {
  // Puts the caller's handlers back however Execute ends.
  struct TSavedHandlers {
    TStandardTextComparer& owner;
    THashLine hash;
    TCompareLines compare;
    ~TSavedHandlers() {
      owner.OnHashLine = std::move(hash);
      owner.OnCompareLines = std::move(compare);
    }
  } saved{*this, OnHashLine, OnCompareLines};

  if (IgnoreCase || IgnoreAllSpace || CompressSpace) {
    const TLineForm form{IgnoreCase, IgnoreAllSpace, CompressSpace};
    OnHashLine = [form](const std::string& line) { return DefaultHash(form(line)); };
    OnCompareLines = [form](const std::string& a, const std::string& b) {
      return form(a) == form(b);
    };
  } else {
    OnHashLine = nullptr;
    OnCompareLines = nullptr;
  }
  Execute(first, second);
}

}  // namespace pellmor
