// The tests' main on Windows: the process enters the multithreaded
// apartment first, as ostrana.exe does, so the late-bound backend's objects
// are called from the polling worker without marshalling.
#include <gtest/gtest.h>
#include <objbase.h>

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
