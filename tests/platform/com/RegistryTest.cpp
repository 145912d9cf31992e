#include <gtest/gtest.h>

#include <string>

#include "platform/com/RegKey.h"
#include "tests/platform/com/ComTestSupport.h"

namespace sealrun::platform::com {
namespace {

using sealrun::testing::ReadFileBytes;
using sealrun::testing::ScopedEnv;
using sealrun::testing::WriteFileBytes;

class RegistryTest : public testing::TempRegistryTest {};

TEST_F(RegistryTest, KeysAndValuesAreFoundWithoutRegardToCase) {
  RegKey key;
  DWORD disposition = 0;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Software\\Velmarch\\Sealrun", KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(key.SetString(u"SigFilePath", u"C:\\seal.png"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDword(u"Mode", 42), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString({}, u"default"), ERROR_SUCCESS);

  RegKey again;
  ASSERT_EQ(again.Create(HKEY_CURRENT_USER, u"SOFTWARE\\velmarch\\SEALRUN", KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(again.QueryString(u"sigfilepath"), u"C:\\seal.png");
  EXPECT_EQ(again.QueryDword(u"MODE"), 42u);
  EXPECT_EQ(again.QueryString(), u"default");
  EXPECT_EQ(again.QueryDword(u"SigFilePath"), std::nullopt) << "a value of another type";
  EXPECT_EQ(again.QueryString(u"Missing"), std::nullopt);

  RegKey absent;
  EXPECT_EQ(absent.Open(HKEY_CURRENT_USER, u"Software\\Nobody"), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(absent.IsOpen());
  EXPECT_EQ(absent.Open(HKEY_LOCAL_MACHINE, u"Software\\Velmarch"), ERROR_FILE_NOT_FOUND) << "hives are separate";
}

TEST_F(RegistryTest, QueryValueReportsTheNeededSize) {
  RegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Software\\Test"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetString(u"Name", u"abc"), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueEx(key.Get(), u"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 8u) << "three units and the NUL";
  BYTE small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueEx(key.Get(), u"Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(RegQueryValueEx(key.Get(), u"Name", nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueEx(reinterpret_cast<HKEY>(uintptr_t{0x1234567}), u"Name", nullptr, &type, nullptr, &size),
            ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, ValuesPersistAcrossReloadsIncludingBinaryContent) {
  {
    RegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{X}\\InprocServer32"), ERROR_SUCCESS);
    ASSERT_EQ(key.SetString({}, u"/opt/签章/module.so"), ERROR_SUCCESS);
    const BYTE blob[] = {0x00, 0xFF, 0x25, 0x0A, 0x5D};
    ASSERT_EQ(RegSetValueEx(key.Get(), u"Blob \"=[]%", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    const char16_t twoTexts[] = u"a\0b";  // a REG_SZ with an embedded NUL keeps its bytes
    ASSERT_EQ(RegSetValueEx(key.Get(), u"Odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(twoTexts), 7), ERROR_SUCCESS);
    RegKey empty;
    ASSERT_EQ(empty.Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Empty"), ERROR_SUCCESS);
  }
  EXPECT_NE(ReadFileBytes(MachineHiveFile()).find("InprocServer32"), std::string::npos);
  // Another registry folder and back: the hive is read again from its file.
  {
    sealrun::testing::TempDir other;
    ScopedEnv elsewhere("SEALRUN_REGISTRY", other.Path().string());
    RegKey key;
    EXPECT_EQ(key.Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID"), ERROR_FILE_NOT_FOUND);
  }
  RegKey key;
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"CLSID\\{x}\\InprocServer32"), ERROR_SUCCESS);
  EXPECT_EQ(key.QueryString(), u"/opt/签章/module.so");
  BYTE blob[8] = {};
  DWORD size = sizeof blob;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueEx(key.Get(), u"blob \"=[]%", nullptr, &type, blob, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(size, 5u);
  EXPECT_EQ(blob[1], 0xFF);
  EXPECT_EQ(blob[4], 0x5D);
  size = sizeof blob;
  ASSERT_EQ(RegQueryValueEx(key.Get(), u"Odd", nullptr, &type, blob, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(blob[2], 0);
  EXPECT_EQ(blob[4], 'b');
  RegKey empty;
  EXPECT_EQ(empty.Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Empty"), ERROR_SUCCESS) << "empty keys persist";
}

TEST_F(RegistryTest, DeletingAndEnumeratingKeys) {
  RegKey root;
  ASSERT_EQ(root.Create(HKEY_CURRENT_USER, u"Software\\Tree"), ERROR_SUCCESS);
  for (const char16_t* name : {u"b\\deep", u"A", u"c"}) {
    RegKey child;
    ASSERT_EQ(child.Create(root.Get(), name), ERROR_SUCCESS);
  }
  EXPECT_EQ(root.SubKeyNames(), (std::vector<std::u16string>{u"A", u"b", u"c"}));
  OLECHAR shortName[1];
  DWORD length = 1;
  EXPECT_EQ(RegEnumKeyEx(root.Get(), 0, shortName, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  length = 1;
  EXPECT_EQ(RegEnumKeyEx(root.Get(), 3, shortName, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  EXPECT_EQ(RegDeleteKey(root.Get(), u"b"), ERROR_ACCESS_DENIED) << "a key with subkeys is not deleted";
  EXPECT_EQ(RegDeleteKey(root.Get(), u"a"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(root.Get(), u"a"), ERROR_FILE_NOT_FOUND);
  RegKey doomed;
  ASSERT_EQ(doomed.Open(root.Get(), u"B\\DEEP"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTree(root.Get(), u"b"), ERROR_SUCCESS);
  EXPECT_EQ(doomed.SetString(u"x", u"y"), ERROR_KEY_DELETED) << "a handle to a deleted key";
  EXPECT_EQ(root.SubKeyNames(), (std::vector<std::u16string>{u"c"}));

  ASSERT_EQ(root.SetString(u"v", u"1"), ERROR_SUCCESS);
  EXPECT_EQ(root.DeleteValue(u"V"), ERROR_SUCCESS);
  EXPECT_EQ(root.DeleteValue(u"V"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(root.SetString(u"v", u"1"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTree(root.Get(), nullptr), ERROR_SUCCESS) << "empties the key itself";
  DWORD subKeys = 9;
  DWORD values = 9;
  ASSERT_EQ(RegQueryInfoKey(root.Get(), &subKeys, &values), ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(values, 0u);
}

TEST_F(RegistryTest, KeysBeyondWindowsLimitsAreRefused) {
  std::u16string deep;
  for (int i = 0; i < 513; ++i) deep += u"k\\";
  RegKey key;
  EXPECT_EQ(key.Create(HKEY_CURRENT_USER, deep), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key.Create(HKEY_CURRENT_USER, std::u16string(256, u'n')), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key.Create(HKEY_CURRENT_USER, std::u16string(255, u'n')), ERROR_SUCCESS);
  // A file nesting deeper than Windows allows is malformed, not a stack overflow.
  std::string file = "sealrun-registry 1\n[";
  for (int i = 0; i < 100000; ++i) file += i ? "\\k" : "k";
  file += "]\nend\n";
  sealrun::testing::WriteFileBytes(UserHiveFile(), file);
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, u"k"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ClassesRootMergesUserClassesOverMachineClasses) {
  {
    RegKey machine;
    ASSERT_EQ(machine.Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Sealrun.Pane"), ERROR_SUCCESS);
    ASSERT_EQ(machine.SetString({}, u"machine"), ERROR_SUCCESS);
    ASSERT_EQ(machine.SetString(u"OnlyMachine", u"m"), ERROR_SUCCESS);
    RegKey machineChild;
    ASSERT_EQ(machineChild.Create(machine.Get(), u"CLSID"), ERROR_SUCCESS);
    RegKey user;
    ASSERT_EQ(user.Create(HKEY_CURRENT_USER, u"Software\\Classes\\sealrun.pane"), ERROR_SUCCESS);
    ASSERT_EQ(user.SetString({}, u"user"), ERROR_SUCCESS);
    RegKey userChild;
    ASSERT_EQ(userChild.Create(user.Get(), u"CurVer"), ERROR_SUCCESS);
    RegKey machineOnly;
    ASSERT_EQ(machineOnly.Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\MachineOnly"), ERROR_SUCCESS);
  }
  RegKey merged;
  ASSERT_EQ(merged.Open(HKEY_CLASSES_ROOT, u"Sealrun.Pane"), ERROR_SUCCESS);
  EXPECT_EQ(merged.QueryString(), u"user");
  EXPECT_EQ(merged.QueryString(u"OnlyMachine"), u"m");
  EXPECT_EQ(merged.SubKeyNames(), (std::vector<std::u16string>{u"CLSID", u"CurVer"}));

  // Writes through HKCR go where the key lives; new keys go to the machine's classes.
  RegKey machineOnly;
  ASSERT_EQ(machineOnly.Open(HKEY_CLASSES_ROOT, u"MachineOnly", KEY_ALL_ACCESS), ERROR_SUCCESS);
  ASSERT_EQ(machineOnly.SetString(u"Written", u"1"), ERROR_SUCCESS);
  RegKey check;
  ASSERT_EQ(check.Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\MachineOnly"), ERROR_SUCCESS);
  EXPECT_EQ(check.QueryString(u"Written"), u"1");
  RegKey created;
  ASSERT_EQ(created.Create(HKEY_CLASSES_ROOT, u"Brand.New"), ERROR_SUCCESS);
  EXPECT_EQ(check.Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Brand.New"), ERROR_SUCCESS);
  RegKey userView;
  ASSERT_EQ(userView.Create(HKEY_CLASSES_ROOT, u"Sealrun.Pane\\NewChild"), ERROR_SUCCESS);
  EXPECT_EQ(check.Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Sealrun.Pane\\NewChild"), ERROR_SUCCESS)
      << "the parent exists for the machine, so the child goes there";
}

TEST_F(RegistryTest, MalformedFileReadsAsEmptyAndIsKeptWhenRewritten) {
  {
    RegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Software\\Good"), ERROR_SUCCESS);
  }
  const std::string good = ReadFileBytes(UserHiveFile());
  for (const std::string& bad : {std::string("garbage\n\x01\xFF"), good.substr(0, good.size() - 4),
                                 std::string("sealrun-registry 1\n\"v\"=sz:x\nend\n"),
                                 std::string("sealrun-registry 1\n[a]\n\"v\"=hex(3):0\nend\n"),
                                 std::string("sealrun-registry 1\n[a\\\\b]\nend\n"),
                                 // a key name holding an escaped separator would split the key when written back
                                 std::string("sealrun-registry 1\n[Software\\a%5Cb]\nend\n"), std::string()}) {
    WriteFileBytes(UserHiveFile(), bad);
    ::testing::internal::CaptureStderr();
    ScopedEnv debug("SEALRUN_DEBUG", "1");
    RegKey key;
    const LSTATUS status = key.Open(HKEY_CURRENT_USER, u"Software\\Good");
    const std::string trace = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND) << bad;
    if (!bad.empty()) {
      EXPECT_NE(trace.find("malformed"), std::string::npos) << bad;
    }
  }
  WriteFileBytes(UserHiveFile(), "not a registry\n");
  RegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, u"Software\\Fresh"), ERROR_SUCCESS);
  auto kept = UserHiveFile();
  kept += ".corrupt";
  EXPECT_EQ(ReadFileBytes(kept), "not a registry\n") << "the unreadable file is kept, not lost";
  RegKey fresh;
  EXPECT_EQ(fresh.Open(HKEY_CURRENT_USER, u"Software\\Fresh"), ERROR_SUCCESS);
}

}  // namespace
}  // namespace sealrun::platform::com
