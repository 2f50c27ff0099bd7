#include "registry_scripts.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace revdir::interface_doc {

namespace {

// Words are separated by white space; a quoted word may hold any of it, ''
// standing for one quote.
struct Token {
  std::string text;
  bool quoted = false;
  int line = 1;
};

struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

bool SameText(const std::string &a, const char *b) {
  std::string lower = a, other = b;
  for (auto *s : {&lower, &other})
    std::transform(s->begin(), s->end(), s->begin(), [](unsigned char c) { return std::tolower(c); });
  return lower == other;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

std::vector<Token> Tokenize(const std::string &text) {
  std::vector<Token> tokens;
  int line = 1;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\n') ++line;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    Token t{"", c == '\'', line};
    if (t.quoted) {
      for (++i;; ++i) {
        if (i >= text.size()) throw ScriptError("line " + std::to_string(t.line) + ": unterminated quoted text");
        if (text[i] == '\n') ++line;
        if (text[i] != '\'') {
          t.text += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\'') {
          t.text += text[i++];
        } else {
          ++i;
          break;
        }
      }
    } else {
      while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) t.text += text[i++];
    }
    tokens.push_back(std::move(t));
  }
  return tokens;
}

// Keys nest in braces; a key may be given a default value (`= s 'text'`), and
// `val NAME = TYPE VALUE` inside its braces sets a named one.
class Parser {
 public:
  Parser(std::vector<Token> tokens, ProgIdMap *progIds) : m_tokens(std::move(tokens)), m_progIds(progIds) {}

  void Parse() {
    std::vector<std::string> path;
    Keys(path, false);
  }

 private:
  static constexpr size_t kMaxDepth = 64;

  bool AtEnd() const { return m_next >= m_tokens.size(); }
  bool Peek(const char *text) const { return !AtEnd() && !m_tokens[m_next].quoted && m_tokens[m_next].text == text; }
  int Line() const { return m_tokens.empty() ? 1 : m_tokens[std::min(m_next, m_tokens.size() - 1)].line; }
  [[noreturn]] void Fail(const std::string &what) const {
    throw ScriptError("line " + std::to_string(Line()) + ": " + what);
  }
  const Token &Next(const char *what) {
    if (AtEnd()) Fail(std::string("the script ends where ") + what + " should follow");
    return m_tokens[m_next++];
  }
  void Expect(const char *text) {
    if (!Peek(text)) Fail(std::string("'") + text + "' expected");
    ++m_next;
  }

  // `= TYPE VALUE`, the value's text.
  std::pair<std::string, std::string> Value() {
    Expect("=");
    std::string type = Next("a value type").text;
    if (type.size() != 1 || !std::strchr("sdbmSDBM", type[0])) Fail("'" + type + "' is no value type (s, d, b, m)");
    return {type, Next("a value").text};
  }

  void Keys(std::vector<std::string> &path, bool nested) {
    if (path.size() > kMaxDepth) Fail("keys nest too deep");
    while (!AtEnd()) {
      if (Peek("}")) {
        if (!nested) Fail("'}' without a '{'");
        ++m_next;
        return;
      }
      Token name = Next("a key");
      if (!name.quoted && SameText(name.text, "val")) {
        Next("a value name");
        Value();
        continue;
      }
      if (!name.quoted &&
          (SameText(name.text, "NoRemove") || SameText(name.text, "ForceRemove") || SameText(name.text, "Delete")))
        name = Next("a key");
      if (name.text == "{" || name.text == "=") Fail("a key name expected, found '" + name.text + "'");
      if (Peek("=")) Record(path, name.text, Value());
      if (Peek("{")) {
        ++m_next;
        path.push_back(name.text);
        Keys(path, true);
        path.pop_back();
      }
    }
    if (nested) Fail("the script ends inside a key's braces");
  }

  // HKCR\CLSID\{clsid}\ProgID and ...\VersionIndependentProgID.
  void Record(const std::vector<std::string> &path, const std::string &name,
              const std::pair<std::string, std::string> &value) {
    if (path.size() != 3 || !SameText(value.first, "s") || !SameText(path[1], "CLSID")) return;
    if (!SameText(path[0], "HKCR") && !SameText(path[0], "HKEY_CLASSES_ROOT")) return;
    ClassProgIds &ids = (*m_progIds)[Upper(path[2])];
    if (SameText(name, "ProgID")) ids.progId = value.second;
    if (SameText(name, "VersionIndependentProgID")) ids.versionIndependent = value.second;
  }

  std::vector<Token> m_tokens;
  size_t m_next = 0;
  ProgIdMap *m_progIds;
};

}  // namespace

bool ReadProgIds(const std::string &script, const std::string &source, ProgIdMap *progIds, std::string *error) {
  // Nothing of a script that fails is kept.
  ProgIdMap found = *progIds;
  try {
    Parser(Tokenize(script), &found).Parse();
  } catch (const ScriptError &e) {
    *error = source + ": " + e.what();
    return false;
  }
  *progIds = std::move(found);
  return true;
}

}  // namespace revdir::interface_doc
