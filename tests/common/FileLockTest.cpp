// The run's lock file: one holder at a time, a refused second told who holds
// it, and the lock free again once released.
#include <gtest/gtest.h>

#include "common/FileLock.h"
#include "common/Process.h"
#include "support/TestSupport.h"

using namespace ostrana;

TEST(FileLock, OneHolderNamedToTheNextAndFreeOnceReleased) {
  test::TempDir dir;
  const std::string path = (dir.path() / "tnc.lock").string();
  FileLock first, second;
  std::string holder, why;
  ASSERT_TRUE(first.Take(path, &holder, &why)) << why;
  EXPECT_FALSE(second.Take(path, &holder, &why));
  EXPECT_EQ(holder, std::to_string(CurrentProcessId()));
  first.Release();
  EXPECT_TRUE(second.Take(path, &holder, &why) && second.Held() && !first.Held());
  EXPECT_FALSE(FileLock().Take((dir.path() / "none" / "x.lock").string(), &holder, &why) || why.empty());
}
