#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

#include "common/NewFile.h"
#include "win32/SettingsStores.h"

using namespace ostrana;

// A stored value of another type or size is named with its type and what is
// used instead, and is left as it is at exit; a text is read whole, however
// long.
TEST(RegistrySettingsStore, NamesWhatItCannotUseAndLeavesItAsItIs) {
  const std::string subkey = "Software\\Quorvane\\OstranaTest-" + RandomName();
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string longPath(5000, 'l');
  const DWORD seven = 7;
  const ULONGLONG wide = 8;
  const WORD narrow = 9;
  const struct {
    const char* name;
    DWORD type;
    const void* data;
    DWORD size;
    const char* said;
  } values[] = {
      {"PortNumber", REG_SZ, "50001", 6,
       "PortNumber is a REG_SZ, not a number (REG_DWORD): 50000 is used, and the "
       "stored value is left as it is"},
      {"xTopLeft", REG_QWORD, &wide, 8, "xTopLeft is a REG_QWORD, not a number (REG_DWORD): 0 is used"},
      {"yTopLeft", REG_DWORD, &narrow, 2, "yTopLeft is a REG_DWORD of 2 bytes: 0 is used"},
      {"Mute", REG_DWORD, &seven, 4, nullptr},
      {"LogFile", REG_SZ, longPath.c_str(), 5001, nullptr},
      {"ListenAddress", REG_MULTI_SZ, "0.0.0.0\0", 9,
       "ListenAddress is a REG_MULTI_SZ, not a text (REG_SZ): the port listens on this computer only (127.0.0.1)"},
  };
  for (const auto& v : values)
    ASSERT_EQ(RegSetValueExA(key, v.name, 0, v.type, static_cast<const BYTE*>(v.data), v.size), ERROR_SUCCESS);
  const win32::RegistrySettingsStore store(subkey);
  platform::Settings s = store.Load();
  EXPECT_EQ(std::tuple(s.portNumber, s.xTopLeft, s.yTopLeft, s.muted, s.logFile, s.listenAddress),
            std::tuple(50000, 0, 0, true, longPath, std::string("127.0.0.1")));
  EXPECT_EQ(s.unread, (std::array<bool, 4>{true, true, true, false}));
  std::string said;
  for (const auto& problem : s.problems) said += problem + "\n";
  EXPECT_EQ(s.problems.size(), 4u) << said;
  for (const auto& v : values)
    if (v.said) EXPECT_NE(said.find(std::string("the registry value ") + v.said), std::string::npos) << said;
  s.portNumber = 50100, s.xTopLeft = 5, s.muted = false;
  std::string why;
  EXPECT_TRUE(store.Save(s, &why)) << why;
  for (const auto& v : values) {
    DWORD type = 0, size = 0;
    RegQueryValueExA(key, v.name, nullptr, &type, nullptr, &size);
    EXPECT_EQ(std::pair(type, size), std::pair(v.type, v.size)) << v.name;
  }
  DWORD mute = 1, size = sizeof mute;
  RegQueryValueExA(key, "Mute", nullptr, nullptr, reinterpret_cast<BYTE*>(&mute), &size);
  EXPECT_EQ(mute, 0u);
  RegCloseKey(key);
  RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
}
