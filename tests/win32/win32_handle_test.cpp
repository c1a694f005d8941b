// The owner template and the scoped GDI owners: each closes what it holds
// exactly once, never closes an empty value, and hands a handle over on a
// move. Handles here are counters, so a close is seen.
#include "win32_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmere::win32 {
namespace {

std::vector<int> g_closed;
void Close(int value) {
  g_closed.push_back(value);
}

struct MinusOneIsEmpty {
  static int Value() noexcept { return -1; }
};

using Owner = UniqueAny<int, Close>;
using MinusOneOwner = UniqueAny<int, Close, MinusOneIsEmpty>;

class Win32Handle : public ::testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(Win32Handle, EmptyValueIsNeverClosed) {
  {
    const Owner none, zero(0);
    EXPECT_FALSE(none);
    EXPECT_FALSE(zero);
  }
  {
    const MinusOneOwner none, invalid(-1), zero(0);
    EXPECT_FALSE(invalid);
    EXPECT_TRUE(zero);
  }
  EXPECT_EQ(g_closed, std::vector<int>{0}) << "only the 0 of the owner whose empty value is -1";
}

TEST_F(Win32Handle, OwnerClosesItsHandleOnceWhenItGoes) {
  {
    const Owner owner(7);
    EXPECT_TRUE(owner);
    EXPECT_EQ(owner.get(), 7);
  }
  EXPECT_EQ(g_closed, std::vector<int>{7});
}

TEST_F(Win32Handle, ReleaseGivesTheHandleUpWithoutClosingIt) {
  Owner owner(7);
  EXPECT_EQ(owner.release(), 7);
  EXPECT_FALSE(owner);
  owner.reset();
  EXPECT_TRUE(g_closed.empty());
}

TEST_F(Win32Handle, ResetClosesTheOldHandleAndKeepsTheNew) {
  Owner owner(7);
  owner.reset(8);
  EXPECT_EQ(g_closed, std::vector<int>{7});
  EXPECT_EQ(owner.get(), 8);
  owner.reset();
  EXPECT_EQ(g_closed, (std::vector<int>{7, 8}));
  EXPECT_FALSE(owner);
}

TEST_F(Win32Handle, MovesHandTheHandleOverAndCloseTheReplacedOne) {
  Owner first(7);
  Owner second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.get(), 7);
  Owner third(9);
  third = std::move(second);
  EXPECT_EQ(g_closed, std::vector<int>{9});
  EXPECT_EQ(third.get(), 7);
  auto& self = third;
  third = std::move(self);
  EXPECT_EQ(third.get(), 7) << "a move onto itself closed the handle";
  EXPECT_EQ(g_closed, std::vector<int>{9});
}

TEST_F(Win32Handle, PutClosesTheHeldHandleAndTakesTheOneWrittenThere) {
  Owner owner(7);
  *owner.put() = 8;
  EXPECT_EQ(g_closed, std::vector<int>{7});
  EXPECT_EQ(owner.get(), 8);
  MinusOneOwner empty;
  EXPECT_EQ(*empty.put(), -1) << "put does not start from the empty value";
}

TEST(ScopedSelect, PutsTheReplacedObjectBack) {
  const UniqueDc dc(::CreateCompatibleDC(nullptr));
  const UniqueBitmap bitmap(::CreateCompatibleBitmap(dc.get(), 4, 4));
  const UniquePen pen(::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
  const HGDIOBJ originalBitmap = ::GetCurrentObject(dc.get(), OBJ_BITMAP);
  const HGDIOBJ originalPen = ::GetCurrentObject(dc.get(), OBJ_PEN);
  {
    const ScopedSelect selectBitmap(dc.get(), bitmap.get());
    const ScopedSelect selectPen(dc.get(), pen.get());
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_PEN), pen.get());
  }
  EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), originalBitmap);
  EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_PEN), originalPen);
}

TEST(WindowDc, GivesTheScreensContextForNoWindow) {
  const WindowDc screen(nullptr);
  ASSERT_TRUE(screen);
  EXPECT_EQ(::GetObjectType(screen.get()), static_cast<DWORD>(OBJ_DC));
}

}  // namespace
}  // namespace quillmere::win32
