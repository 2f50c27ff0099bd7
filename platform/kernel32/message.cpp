// FormatMessage: system message texts and message strings with %1-style
// inserts. Only English texts exist; a request for another language fails as
// Windows fails for a language it has no texts in.
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "kernel32/codepage.h"
#include "msvcrt/format.h"
#include "kernel32/message_table.h"
#include "kernel32/text.h"

namespace {

// No message grows past this; it keeps a wild width in an insert from
// exhausting memory.
constexpr size_t kMaxMessage = 1 << 20;

struct Failure {
  DWORD error;
};

// The highest insert number a message refers to, for reading va_list
// arguments in order.
unsigned HighestInsert(std::u16string_view text) {
  unsigned highest = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'%') continue;
    char16_t c = text[i + 1];
    if (c >= u'1' && c <= u'9') {
      unsigned n = c - u'0';
      if (i + 2 < text.size() && text[i + 2] >= u'0' && text[i + 2] <= u'9') n = n * 10 + (text[i + 2] - u'0');
      if (n > highest) highest = n;
    }
    ++i;  // "%%" and friends are one unit
  }
  return highest;
}

// Expands a message template. args are the pointer-sized argument slots.
std::optional<Failure> Expand(std::u16string_view text, DWORD flags, const DWORD_PTR *args, bool narrow,
                              std::u16string &out) {
  bool ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
  // Any maximum width makes the function ignore the line breaks of the text
  // itself; %n still breaks a line.
  bool ignoreLineBreaks = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0;
  for (size_t i = 0; i < text.size();) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      if (ignoreLineBreaks) {
        out += u' ';
        i += (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
      } else {
        out += c;
        ++i;
      }
      continue;
    }
    if (c != u'%') {
      out += c;
      ++i;
      continue;
    }
    if (++i == text.size()) {
      if (ignoreInserts) {
        out += u'%';
        break;
      }
      return Failure{ERROR_INVALID_PARAMETER};
    }
    c = text[i++];
    if (c == u'0') break;  // ends the message, without a line break
    if (c == u'n') {
      out += u"\r\n";
      continue;
    }
    if (c == u'r') {
      out += u'\r';
      continue;
    }
    if (c == u't') {
      out += u'\t';
      continue;
    }
    // Ignoring inserts passes them, and the escapes of single characters,
    // through unchanged; the line and message ends above still apply.
    if (ignoreInserts) {
      out += u'%';
      out += c;
      continue;
    }
    if (c < u'1' || c > u'9') {
      out += c;  // "%%", "%.", "%!", "% " stand for the character itself
      continue;
    }
    unsigned n = c - u'0';
    if (i < text.size() && text[i] >= u'0' && text[i] <= u'9') n = n * 10 + (text[i++] - u'0');
    if (!args) return Failure{ERROR_INVALID_PARAMETER};
    std::u16string conversion = u"%s";
    if (i < text.size() && text[i] == u'!') {
      size_t end = text.find(u'!', i + 1);
      if (end == std::u16string_view::npos || end == i + 1) return Failure{ERROR_INVALID_PARAMETER};
      conversion = u"%" + std::u16string(text.substr(i + 1, end - i - 1));
      i = end + 1;
      // Widths and precisions taken from further arguments are not supported.
      if (conversion.find(u'*') != std::u16string::npos || conversion.find(u'%', 1) != std::u16string::npos)
        return Failure{ERROR_INVALID_PARAMETER};
    }
    platform::SlotArgReader reader(&args[n - 1], 1);
    size_t room = kMaxMessage - std::min(out.size(), kMaxMessage);
    platform::Sink sink(&out, room);
    if (!platform::FormatWide(sink, conversion.c_str(), reader, narrow) || reader.Overrun())
      return Failure{ERROR_INVALID_PARAMETER};
    if (sink.Count() > room) return Failure{ERROR_NOT_ENOUGH_MEMORY};
  }
  return std::nullopt;
}

// The whole of FormatMessage except where the result goes. narrow: the
// caller is FormatMessageA, so strings are UTF-8 and %s inserts narrow.
std::optional<Failure> FormatCore(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                  va_list *arguments, bool narrow, std::u16string &out) {
  bool fromString = flags & FORMAT_MESSAGE_FROM_STRING;
  bool fromSystem = flags & FORMAT_MESSAGE_FROM_SYSTEM;
  bool fromModule = flags & FORMAT_MESSAGE_FROM_HMODULE;
  if (fromString == (fromSystem || fromModule)) return Failure{ERROR_INVALID_PARAMETER};

  std::u16string text;
  if (fromString) {
    if (!source) return Failure{ERROR_INVALID_PARAMETER};
    text = narrow ? platform::AnsiToWide(static_cast<const char *>(source))
                  : std::u16string(platform::View(static_cast<const WCHAR *>(source)));
  } else {
    // Modules carry no message tables on this platform.
    if (fromModule && (source || !fromSystem)) return Failure{ERROR_RESOURCE_TYPE_NOT_FOUND};
    // 0 and the neutral language ids let the system choose: English. A
    // specific language needs texts in exactly that language.
    if (PRIMARYLANGID(languageId) != LANG_NEUTRAL && languageId != MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))
      return Failure{ERROR_RESOURCE_LANG_NOT_FOUND};
    const char16_t *found = platform::FindSystemMessage(messageId);
    // An HRESULT that wraps a Win32 error has that error's text.
    if (!found && HRESULT_FACILITY(messageId) == FACILITY_WIN32 && (messageId & 0x80000000))
      found = platform::FindSystemMessage(HRESULT_CODE(messageId));
    if (!found) return Failure{ERROR_MR_MID_NOT_FOUND};
    text = found;
    text += u"\r\n";
  }

  std::vector<DWORD_PTR> slots;
  const DWORD_PTR *args = nullptr;
  if (arguments && !(flags & FORMAT_MESSAGE_IGNORE_INSERTS)) {
    if (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) {
      args = reinterpret_cast<const DWORD_PTR *>(arguments);
    } else {
      // Every argument of a va_list is taken as pointer-sized, in order.
      slots.resize(HighestInsert(text));
      for (auto &s : slots) s = va_arg(*arguments, DWORD_PTR);
      args = slots.data();
    }
  }
  return Expand(text, flags, args, narrow, out);
}

// Hands the result to the caller: into its buffer of nSize units, or into a
// LocalAlloc'ed one when asked to allocate.
template <typename Char>
DWORD Deliver(DWORD flags, const std::basic_string<Char> &result, Char *buffer, DWORD nSize) {
  if (!buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t needed = result.size() + 1;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    Char **target = reinterpret_cast<Char **>(buffer);
    *target = nullptr;
    size_t units = needed > nSize ? needed : nSize;
    auto *mem = static_cast<Char *>(LocalAlloc(LMEM_FIXED, units * sizeof(Char)));
    if (!mem) return 0;
    memcpy(mem, result.c_str(), needed * sizeof(Char));
    *target = mem;
    return static_cast<DWORD>(result.size());
  }
  if (needed > nSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(buffer, result.c_str(), needed * sizeof(Char));
  return static_cast<DWORD>(result.size());
}

}  // namespace

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                            DWORD nSize, va_list *Arguments) {
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && lpBuffer) *reinterpret_cast<LPWSTR *>(lpBuffer) = nullptr;
  std::u16string out;
  if (auto failure = FormatCore(dwFlags, lpSource, dwMessageId, dwLanguageId, Arguments, false, out)) {
    SetLastError(failure->error);
    return 0;
  }
  return Deliver(dwFlags, out, lpBuffer, nSize);
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR lpBuffer,
                            DWORD nSize, va_list *Arguments) {
  if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) && lpBuffer) *reinterpret_cast<LPSTR *>(lpBuffer) = nullptr;
  std::u16string out;
  if (auto failure = FormatCore(dwFlags, lpSource, dwMessageId, dwLanguageId, Arguments, true, out)) {
    SetLastError(failure->error);
    return 0;
  }
  return Deliver(dwFlags, platform::ToUtf8Lossy(out), lpBuffer, nSize);
}
