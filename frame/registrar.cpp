// The registrar: parses a registry script into a tree, then applies it with
// the Win32 registry API only (this file also builds on Windows).
#include "registrar.h"

#include <cstring>
#include <string>
#include <vector>

namespace revdir {

namespace {

using WString = std::basic_string<WCHAR>;

const HRESULT kBadScript = HRESULT_FROM_WIN32(ERROR_BADKEY);
constexpr int kMaxDepth = 64;

enum class Flag { kNone, kNoRemove, kForceRemove, kDelete };

struct Value {
  WString name;
  DWORD type = REG_SZ;
  std::vector<BYTE> data;
};

struct KeyNode {
  WString name;
  Flag flag = Flag::kNone;
  bool hasDefault = false;
  Value defaultValue;
  std::vector<Value> values;
  std::vector<KeyNode> keys;
};

struct Root {
  HKEY hkey;
  std::vector<KeyNode> keys;
};

bool IsSpace(WCHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

WCHAR AsciiUpper(WCHAR c) { return (c >= 'a' && c <= 'z') ? static_cast<WCHAR>(c - 'a' + 'A') : c; }

// Case-insensitive comparison with an ASCII keyword.
bool Is(const WString &s, const char *word) {
  size_t n = std::strlen(word);
  if (s.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (AsciiUpper(s[i]) != AsciiUpper(static_cast<WCHAR>(word[i]))) return false;
  return true;
}

bool EqualNoCase(const WString &a, const WCHAR *b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return i == a.size() && !b[i];
}

// ---------------------------------------------------------------------------
// Tokens.

enum class Tok { kEnd, kOpen, kClose, kEquals, kWord, kQuoted };

struct Token {
  Tok kind = Tok::kEnd;
  WString text;
};

class Lexer {
 public:
  Lexer(const WCHAR *script, const REGISTRAR_VAR *vars, UINT count) : m_p(script), m_vars(vars), m_count(count) {}

  // False on malformed input (unterminated quote, bad variable).
  bool Next(Token &t) {
    while (IsSpace(*m_p)) ++m_p;
    t.text.clear();
    WCHAR c = *m_p;
    if (!c) {
      t.kind = Tok::kEnd;
      return true;
    }
    if (c == '}') {
      ++m_p;
      t.kind = Tok::kClose;
      return true;
    }
    if (c == '=') {
      ++m_p;
      t.kind = Tok::kEquals;
      return true;
    }
    if (c == '{' && (!m_p[1] || IsSpace(m_p[1]) || m_p[1] == '{' || m_p[1] == '}' || m_p[1] == '\'')) {
      ++m_p;
      t.kind = Tok::kOpen;
      return true;
    }
    WString raw;
    if (c == '\'') {
      t.kind = Tok::kQuoted;
      for (++m_p;; ++m_p) {
        if (!*m_p) return false;
        if (*m_p == '\'') {
          if (m_p[1] != '\'') break;
          ++m_p;
        }
        raw += *m_p;
      }
      ++m_p;
    } else {
      t.kind = Tok::kWord;
      if (c == '{') {
        // A braced word, such as a GUID, runs through its closing brace.
        while (*m_p && *m_p != '}' && !IsSpace(*m_p)) raw += *m_p++;
        if (*m_p == '}') raw += *m_p++;
      } else {
        while (*m_p && !IsSpace(*m_p) && *m_p != '=' && *m_p != '\'' && *m_p != '}') raw += *m_p++;
      }
    }
    return Substitute(raw, t.text);
  }

 private:
  bool Substitute(const WString &raw, WString &out) {
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '%') {
        out += raw[i];
        continue;
      }
      size_t end = raw.find(static_cast<WCHAR>('%'), i + 1);
      if (end == WString::npos) return false;
      if (end == i + 1) {
        out += static_cast<WCHAR>('%');
      } else {
        WString name = raw.substr(i + 1, end - i - 1);
        const REGISTRAR_VAR *var = nullptr;
        for (UINT v = 0; v < m_count && !var; ++v)
          if (EqualNoCase(name, m_vars[v].pszName)) var = &m_vars[v];
        if (!var) return false;
        out += var->pszValue;
      }
      i = end;
    }
    return true;
  }

  const WCHAR *m_p;
  const REGISTRAR_VAR *m_vars;
  UINT m_count;
};

// ---------------------------------------------------------------------------
// Parser: the whole script becomes a tree before anything is written.

class Parser {
 public:
  Parser(const WCHAR *script, const REGISTRAR_VAR *vars, UINT count) : m_lex(script, vars, count) {}

  bool Parse(std::vector<Root> &roots) {
    if (!Advance()) return false;
    while (m_tok.kind != Tok::kEnd) {
      Root root;
      if (m_tok.kind != Tok::kWord || !RootKey(m_tok.text, root.hkey)) return false;
      if (!Advance() || m_tok.kind != Tok::kOpen || !Advance()) return false;
      while (m_tok.kind != Tok::kClose) {
        root.keys.emplace_back();
        if (!ParseKey(root.keys.back(), 1)) return false;
      }
      if (!Advance()) return false;
      roots.push_back(std::move(root));
    }
    return true;
  }

 private:
  bool Advance() { return m_lex.Next(m_tok); }

  static bool RootKey(const WString &s, HKEY &out) {
    if (Is(s, "HKCR") || Is(s, "HKEY_CLASSES_ROOT"))
      out = HKEY_CLASSES_ROOT;
    else if (Is(s, "HKCU") || Is(s, "HKEY_CURRENT_USER"))
      out = HKEY_CURRENT_USER;
    else if (Is(s, "HKLM") || Is(s, "HKEY_LOCAL_MACHINE"))
      out = HKEY_LOCAL_MACHINE;
    else if (Is(s, "HKU") || Is(s, "HKEY_USERS"))
      out = HKEY_USERS;
    else
      return false;
    return true;
  }

  static bool IsKeyword(const WString &s) {
    return Is(s, "val") || Is(s, "NoRemove") || Is(s, "ForceRemove") || Is(s, "Delete");
  }

  // A key or value name: quoted, or a word that is not a keyword.
  bool Name(WString &out, bool allowEmpty) {
    if (m_tok.kind == Tok::kWord && IsKeyword(m_tok.text)) return false;
    if (m_tok.kind != Tok::kWord && m_tok.kind != Tok::kQuoted) return false;
    if (m_tok.text.empty() && !allowEmpty) return false;
    out = m_tok.text;
    return Advance();
  }

  bool ParseKey(KeyNode &key, int depth) {
    if (depth > kMaxDepth) return false;
    if (m_tok.kind == Tok::kWord) {
      if (Is(m_tok.text, "NoRemove"))
        key.flag = Flag::kNoRemove;
      else if (Is(m_tok.text, "ForceRemove"))
        key.flag = Flag::kForceRemove;
      else if (Is(m_tok.text, "Delete"))
        key.flag = Flag::kDelete;
      if (key.flag != Flag::kNone && !Advance()) return false;
    }
    if (!Name(key.name, false)) return false;
    if (m_tok.kind == Tok::kEquals) {
      if (!Advance() || !ParseValue(key.defaultValue)) return false;
      key.hasDefault = true;
    }
    if (m_tok.kind != Tok::kOpen) return true;
    if (!Advance()) return false;
    while (m_tok.kind != Tok::kClose) {
      if (m_tok.kind == Tok::kEnd) return false;
      if (m_tok.kind == Tok::kWord && Is(m_tok.text, "val")) {
        if (!Advance()) return false;
        Value v;
        if (!Name(v.name, true) || m_tok.kind != Tok::kEquals || !Advance() || !ParseValue(v)) return false;
        key.values.push_back(std::move(v));
      } else {
        key.keys.emplace_back();
        if (!ParseKey(key.keys.back(), depth + 1)) return false;
      }
    }
    return Advance();
  }

  bool ParseValue(Value &v) {
    if (m_tok.kind != Tok::kWord || m_tok.text.size() != 1) return false;
    WCHAR type = AsciiUpper(m_tok.text[0]);
    if (!Advance() || (m_tok.kind != Tok::kWord && m_tok.kind != Tok::kQuoted)) return false;
    const WString &data = m_tok.text;
    v.data.clear();
    if (type == 'S') {
      v.type = REG_SZ;
      const BYTE *bytes = reinterpret_cast<const BYTE *>(data.c_str());
      v.data.assign(bytes, bytes + (data.size() + 1) * sizeof(WCHAR));
    } else if (type == 'D') {
      DWORD n = 0;
      if (!ParseDword(data, n)) return false;
      v.type = REG_DWORD;
      const BYTE *bytes = reinterpret_cast<const BYTE *>(&n);
      v.data.assign(bytes, bytes + sizeof n);
    } else if (type == 'B') {
      if (data.size() % 2) return false;
      v.type = REG_BINARY;
      for (size_t i = 0; i < data.size(); i += 2) {
        int hi = Hex(data[i]), lo = Hex(data[i + 1]);
        if (hi < 0 || lo < 0) return false;
        v.data.push_back(static_cast<BYTE>(hi * 16 + lo));
      }
    } else {
      return false;
    }
    return Advance();
  }

  static int Hex(WCHAR c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = AsciiUpper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  static bool ParseDword(const WString &s, DWORD &out) {
    size_t i = 0;
    unsigned base = 10;
    if (s.size() > 2 && s[0] == '0' && AsciiUpper(s[1]) == 'X') {
      base = 16;
      i = 2;
    }
    if (i == s.size()) return false;
    uint64_t n = 0;
    for (; i < s.size(); ++i) {
      int d = Hex(s[i]);
      if (d < 0 || static_cast<unsigned>(d) >= base) return false;
      n = n * base + static_cast<unsigned>(d);
      if (n > 0xFFFFFFFFull) return false;
    }
    out = static_cast<DWORD>(n);
    return true;
  }

  Lexer m_lex;
  Token m_tok;
};

HRESULT ParseScript(LPCOLESTR script, const REGISTRAR_VAR *vars, UINT count, std::vector<Root> &roots) {
  if (!script || (count && !vars)) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i)
    if (!vars[i].pszName || !vars[i].pszName[0] || !vars[i].pszValue) return E_INVALIDARG;
  Parser parser(script, vars, count);
  return parser.Parse(roots) ? S_OK : kBadScript;
}

// ---------------------------------------------------------------------------
// Applying the tree.

bool Missing(LSTATUS rc) { return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

LSTATUS SetValue(HKEY key, const WCHAR *name, const Value &v) {
  return RegSetValueExW(key, name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
}

// Removes a key with everything below it; a missing key is no failure.
LSTATUS DeleteWhole(HKEY parent, const WString &name) {
  LSTATUS rc = RegDeleteTreeW(parent, name.c_str());
  // RegDeleteTreeW removes the named key too; this covers a tree function
  // that leaves the emptied key behind.
  if (rc == ERROR_SUCCESS) rc = RegDeleteKeyW(parent, name.c_str());
  return rc == ERROR_SUCCESS || Missing(rc) ? ERROR_SUCCESS : rc;
}

LSTATUS Register(HKEY parent, const KeyNode &node) {
  if (node.flag == Flag::kDelete || node.flag == Flag::kForceRemove) {
    LSTATUS rc = DeleteWhole(parent, node.name);
    if (rc != ERROR_SUCCESS) return rc;
    if (node.flag == Flag::kDelete) return ERROR_SUCCESS;
  }
  HKEY key = nullptr;
  LSTATUS rc =
      RegCreateKeyExW(parent, node.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (node.hasDefault) rc = SetValue(key, nullptr, node.defaultValue);
  for (size_t i = 0; rc == ERROR_SUCCESS && i < node.values.size(); ++i)
    rc = SetValue(key, node.values[i].name.c_str(), node.values[i]);
  for (size_t i = 0; rc == ERROR_SUCCESS && i < node.keys.size(); ++i) rc = Register(key, node.keys[i]);
  RegCloseKey(key);
  return rc;
}

// Returns the first failure but carries on, to remove as much as it can.
LSTATUS Unregister(HKEY parent, const KeyNode &node) {
  if (node.flag == Flag::kDelete) return ERROR_SUCCESS;
  if (node.flag == Flag::kForceRemove) return DeleteWhole(parent, node.name);
  HKEY key = nullptr;
  LSTATUS rc = RegOpenKeyExW(parent, node.name.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (rc != ERROR_SUCCESS) return Missing(rc) ? ERROR_SUCCESS : rc;
  LSTATUS first = ERROR_SUCCESS;
  auto note = [&first](LSTATUS r) {
    if (r != ERROR_SUCCESS && !Missing(r) && first == ERROR_SUCCESS) first = r;
  };
  for (const Value &v : node.values) note(RegDeleteValueW(key, v.name.c_str()));
  for (const KeyNode &child : node.keys) note(Unregister(key, child));
  DWORD subkeys = 0;
  LSTATUS info = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
  note(info);
  RegCloseKey(key);
  if (node.flag != Flag::kNoRemove && info == ERROR_SUCCESS && subkeys == 0)
    note(RegDeleteKeyW(parent, node.name.c_str()));
  return first;
}

}  // namespace

HRESULT RegistrarCheck(LPCOLESTR script, const REGISTRAR_VAR *vars, UINT count) {
  std::vector<Root> roots;
  return ParseScript(script, vars, count, roots);
}

HRESULT RegistrarRun(LPCOLESTR script, BOOL doRegister, const REGISTRAR_VAR *vars, UINT count) {
  std::vector<Root> roots;
  HRESULT hr = ParseScript(script, vars, count, roots);
  if (FAILED(hr)) return hr;
  LSTATUS first = ERROR_SUCCESS;
  for (const Root &root : roots) {
    for (const KeyNode &node : root.keys) {
      LSTATUS rc = doRegister ? Register(root.hkey, node) : Unregister(root.hkey, node);
      if (rc != ERROR_SUCCESS && first == ERROR_SUCCESS) first = rc;
      if (doRegister && rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<ULONG>(rc));
    }
  }
  return first == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<ULONG>(first));
}

}  // namespace revdir
