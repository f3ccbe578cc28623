#include "foundation/uMyClasses.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellmor {
namespace {

// Records the order in which items die and what the list held at that moment.
struct Tracked {
  Tracked(std::vector<std::string>& log, std::string name, const TObjectList<Tracked>* list)
      : log(log), name(std::move(name)), list(list) {}
  ~Tracked() { log.push_back(name + (list && list->IndexOf(this) >= 0 ? " still listed" : "")); }
  std::vector<std::string>& log;
  std::string name;
  const TObjectList<Tracked>* list;
};

TEST(TObjectListTest, OwnsItemsAndClearsSlotBeforeFreeing) {
  std::vector<std::string> log;
  {
    TObjectList<Tracked> list;
    list.Add(std::make_unique<Tracked>(log, "a", &list));
    Tracked* b = list.Add(std::make_unique<Tracked>(log, "b", &list));
    list.Add(std::make_unique<Tracked>(log, "c", &list));
    list.Delete(list.IndexOf(b));
    EXPECT_EQ(log, std::vector<std::string>{"b"});
    EXPECT_EQ(list.Count(), 2);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"b", "c", "a"}));
}

TEST(TObjectListTest, DetachHandsTheItemBackWithoutFreeingIt) {
  std::vector<std::string> log;
  TObjectList<Tracked> list;
  Tracked* a = list.Add(std::make_unique<Tracked>(log, "a", nullptr));
  std::unique_ptr<Tracked> detached = list.Detach(0);
  EXPECT_EQ(detached.get(), a);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.IndexOf(a), -1);
}

TEST(TObjectListTest, OutOfBoundsIndexRaisesTheListError) {
  TObjectList<int> list;
  list.Add(std::make_unique<int>(1));
  for (int bad : {-1, 1, 7}) {
    try {
      list.Items(bad);
      FAIL() << "no error for " << bad;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), Format("List index out of bounds (%d)", bad));
    }
  }
}

class Apple : public TPersistent {
 public:
  const char* ClassName() const override { return "TApple"; }
  int seeds = 0;

 protected:
  void AssignTo(TPersistent& dest) const override {
    if (auto* apple = dynamic_cast<Apple*>(&dest)) {
      apple->seeds = seeds;
      return;
    }
    TPersistent::AssignTo(dest);
  }
};

class Pear : public TPersistent {
 public:
  const char* ClassName() const override { return "TPear"; }
};

TEST(TPersistentTest, AssignCopiesKnownClassesAndRefusesOthers) {
  Apple source, target;
  source.seeds = 5;
  target.Assign(source);
  EXPECT_EQ(target.seeds, 5);

  Pear pear;
  try {
    pear.Assign(source);
    FAIL() << "assigning an apple to a pear must fail";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TApple to a TPear");
  }
  EXPECT_THROW(target.Assign(pear), Exception);
}

}  // namespace
}  // namespace pellmor
