// Tests of the registrar: what registration writes, what unregistration
// leaves, and that a malformed script writes nothing.
#include <windows.h>

#include "frame/registrar.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "conformance.h"
#include "fresh_prefix.h"
#include "platform/text/wide_text.h"

using namespace revdir;

namespace {

using WString = std::basic_string<WCHAR>;

std::string HexHr(HRESULT hr) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

const WCHAR kBase[] = OLESTR("Software\\RevdirRegistrarTest");

bool KeyExists(const WString &path) {
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

void CreateKey(const WString &path) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
      << platform::Narrow(path.c_str());
  RegCloseKey(key);
}

// A value as "type:hex bytes", or "missing".
std::string ReadValue(const WString &path, const WCHAR *name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "no key";
  BYTE data[256];
  DWORD type = kSentinel, size = sizeof data;
  LSTATUS rc = RegQueryValueExW(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return "missing";
  std::string out = std::to_string(type) + ":";
  for (DWORD i = 0; i < size; ++i) {
    char hex[4];
    snprintf(hex, sizeof hex, "%02x", data[i]);
    out += hex;
  }
  return out;
}

std::string SzBytes(const char *s) {
  std::string out = "1:";
  for (;; ++s) {
    char hex[8];
    snprintf(hex, sizeof hex, "%02x00", static_cast<unsigned char>(*s));
    out += hex;
    if (!*s) return out;
  }
}

// The whole tree below a key, names and values sorted, as text.
std::string Dump(HKEY parent, const WString &path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<none>";
  std::vector<std::string> parts;
  WCHAR name[256];
  BYTE data[512];
  for (DWORD i = 0;; ++i) {
    DWORD cch = 256, type = 0, cb = sizeof data;
    if (RegEnumValueW(key, i, name, &cch, nullptr, &type, data, &cb) != ERROR_SUCCESS) break;
    std::string v = "@";  // appended piecewise: GCC 12 warns falsely on "literal" + string&&
    v += platform::Narrow(name) + "=" + std::to_string(type) + ":";
    for (DWORD b = 0; b < cb; ++b) v += std::to_string(data[b]) + ",";
    parts.push_back(v);
  }
  for (DWORD i = 0;; ++i) {
    DWORD cch = 256;
    if (RegEnumKeyExW(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    parts.push_back(platform::Narrow(name) + "{" + Dump(key, name) + "}");
  }
  RegCloseKey(key);
  std::sort(parts.begin(), parts.end());
  std::string out;
  for (auto &p : parts) out += p + ";";
  return out;
}

const WCHAR kScript[] =
    OLESTR("HKEY_CURRENT_USER\n")
    OLESTR("{\n")
    OLESTR("  NoRemove Software\n")
    OLESTR("  {\n")
    OLESTR("    noremove RevdirRegistrarTest\n")
    OLESTR("    {\n")
    OLESTR("      Plain = s 'default text'\n")
    OLESTR("      {\n")
    OLESTR("        val Number = d 0x2A\n")
    OLESTR("        val Largest = d '4294967295'\n")
    OLESTR("        val Blob = b '00FF10'\n")
    OLESTR("        val 'It''s' = s '%Name% at 100%%'\n")
    OLESTR("        Child\n")
    OLESTR("      }\n")
    OLESTR("      Shared\n")
    OLESTR("      {\n")
    OLESTR("        val Mine = s 'x'\n")
    OLESTR("      }\n")
    OLESTR("      ForceRemove Forced = s 'f' { Sub }\n")
    OLESTR("      Delete Obsolete\n")
    OLESTR("      {%GUID%} = s '%GUID%'\n")
    OLESTR("    }\n")
    OLESTR("  }\n")
    OLESTR("}\n");

const REGISTRAR_VAR kVars[] = {{OLESTR("NAME"), OLESTR("Value")}, {OLESTR("guid"), OLESTR("0123")}};

class Registrar : public ::testing::Test {
 protected:
  // On Windows the registry is the real one: nothing stays behind.
  void SetUp() override {
    UseFreshPrefix();
    RegDeleteTreeW(HKEY_CURRENT_USER, kBase);
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kBase); }
  WString Path(const WCHAR *sub) { return WString(kBase) + OLESTR("\\") + sub; }
};

TEST_F(Registrar, RegistersIdempotentlyAndUnregistersWhatItCreated) {
  // State from before: a foreign subkey in a key the script shares, stale
  // content in a ForceRemove key, and a key the script deletes.
  CreateKey(Path(OLESTR("Shared\\Foreign")));
  CreateKey(Path(OLESTR("Forced\\Stale")));
  CreateKey(Path(OLESTR("Obsolete\\Deep")));

  ASSERT_EQ(HexHr(S_OK), HexHr(RegistrarRun(kScript, TRUE, kVars, 2)));
  EXPECT_EQ(SzBytes("default text"), ReadValue(Path(OLESTR("Plain")), nullptr));
  EXPECT_EQ("4:2a000000", ReadValue(Path(OLESTR("Plain")), OLESTR("Number")));
  EXPECT_EQ("4:ffffffff", ReadValue(Path(OLESTR("Plain")), OLESTR("Largest")));
  EXPECT_EQ("3:00ff10", ReadValue(Path(OLESTR("Plain")), OLESTR("Blob")));
  EXPECT_EQ(SzBytes("Value at 100%"), ReadValue(Path(OLESTR("Plain")), OLESTR("It's")));
  EXPECT_EQ(SzBytes("0123"), ReadValue(Path(OLESTR("{0123}")), nullptr));
  EXPECT_TRUE(KeyExists(Path(OLESTR("Plain\\Child"))));
  EXPECT_TRUE(KeyExists(Path(OLESTR("Forced\\Sub"))));
  EXPECT_FALSE(KeyExists(Path(OLESTR("Forced\\Stale")))) << "ForceRemove keys are rewritten whole";
  EXPECT_FALSE(KeyExists(Path(OLESTR("Obsolete")))) << "Delete keys go at registration";
  EXPECT_TRUE(KeyExists(Path(OLESTR("Shared\\Foreign"))));

  std::string once = Dump(HKEY_CURRENT_USER, kBase);
  ASSERT_EQ(HexHr(S_OK), HexHr(RegistrarRun(kScript, TRUE, kVars, 2)));
  EXPECT_EQ(once, Dump(HKEY_CURRENT_USER, kBase)) << "registering twice changed the registry";

  ASSERT_EQ(HexHr(S_OK), HexHr(RegistrarRun(kScript, FALSE, kVars, 2)));
  // Kept: the NoRemove keys, and a key that still holds a foreign subkey,
  // without the value the script gave it.
  EXPECT_EQ("Shared{Foreign{};};", Dump(HKEY_CURRENT_USER, kBase));
  // Unregistering again finds nothing to do.
  EXPECT_EQ(HexHr(S_OK), HexHr(RegistrarRun(kScript, FALSE, kVars, 2)));
}

TEST_F(Registrar, MalformedScriptsWriteNothing) {
  // Each script starts with a valid key, so a parser that applied as it went
  // would leave it behind.
  const WCHAR *tails[] = {
      OLESTR("HKCU { Software { X } "),                   // unbalanced
      OLESTR("HKCU { Software { X = 'no type' } }"),      // value without type
      OLESTR("HKCU { Software { X = q 'v' } }"),          // unknown type
      OLESTR("HKCU { Software { X = d 4294967296 } }"),   // DWORD overflow
      OLESTR("HKCU { Software { X = d 12z } }"),          // not a number
      OLESTR("HKCU { Software { X = b 'ABC' } }"),        // odd hex digits
      OLESTR("HKCU { Software { X = s '%Missing%' } }"),  // unknown variable
      OLESTR("HKCU { Software { X = s '50% off' } }"),    // lone percent
      OLESTR("HKCU { Software { X = s 'open } }"),        // unterminated quote
      OLESTR("HKXX { Software }"),                        // unknown root
      OLESTR("HKCU { Software { val = s 'x' } }"),        // val without name
      OLESTR("HKCU { Software { val X s 'x' } }"),        // val without '='
      OLESTR("HKCU { NoRemove ForceRemove X }"),          // two flags
      OLESTR("HKCU { '' }"),                              // empty key name
      OLESTR("HKCU Software"),                            // root without block
  };
  for (const WCHAR *tail : tails) {
    WString script = OLESTR("HKCU { Software { RevdirRegistrarBad { Early = s 'x' } } }\n");
    script += tail;
    EXPECT_EQ(HexHr(HRESULT_FROM_WIN32(ERROR_BADKEY)), HexHr(RegistrarRun(script.c_str(), TRUE, nullptr, 0)))
        << platform::Narrow(tail);
    EXPECT_FALSE(KeyExists(OLESTR("Software\\RevdirRegistrarBad"))) << platform::Narrow(tail);
  }

  // Nesting beyond the limit.
  WString deep = OLESTR("HKCU {");
  for (int i = 0; i < 100; ++i) deep += OLESTR(" K {");
  for (int i = 0; i < 100; ++i) deep += OLESTR(" }");
  deep += OLESTR(" }");
  EXPECT_EQ(HexHr(HRESULT_FROM_WIN32(ERROR_BADKEY)), HexHr(RegistrarCheck(deep.c_str(), nullptr, 0)));

  EXPECT_EQ(HexHr(E_INVALIDARG), HexHr(RegistrarRun(nullptr, TRUE, nullptr, 0)));
  EXPECT_EQ(HexHr(E_INVALIDARG), HexHr(RegistrarRun(OLESTR("HKCU { }"), TRUE, nullptr, 1)));
  const REGISTRAR_VAR noName[] = {{OLESTR(""), OLESTR("x")}};
  EXPECT_EQ(HexHr(E_INVALIDARG), HexHr(RegistrarRun(OLESTR("HKCU { }"), TRUE, noName, 1)));
}

}  // namespace
