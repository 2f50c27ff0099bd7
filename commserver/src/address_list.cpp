#include "address_list.h"

#include <algorithm>
#include <optional>

namespace commserver {

namespace {

bool IsSeparator(char c) { return c == ' ' || c == ',' || c == '\t'; }

// A decimal number of at most digits digits, without a leading zero, up to max.
std::optional<uint32_t> Decimal(std::string_view text, size_t digits, uint32_t max) {
  if (text.empty() || text.size() > digits || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  if (v > max) return std::nullopt;
  return v;
}

std::optional<uint32_t> Address(std::string_view text) {
  uint32_t a = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = text.find('.');
    if ((i < 3) != (dot != std::string_view::npos)) return std::nullopt;  // exactly three dots
    auto octet = Decimal(text.substr(0, dot), 3, 255);
    if (!octet) return std::nullopt;
    a = a << 8 | *octet;
    if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
  }
  return a;
}

// One network or host as its range of addresses.
std::optional<AddressRange> Range(std::string_view token) {
  size_t slash = token.find('/');
  auto address = Address(token.substr(0, slash));
  if (!address) return std::nullopt;
  if (slash == std::string_view::npos) return AddressRange{*address, *address};
  auto prefix = Decimal(token.substr(slash + 1), 2, 32);
  if (!prefix) return std::nullopt;
  uint32_t hostBits = *prefix == 0 ? 0xFFFFFFFFu : (uint32_t{1} << (32 - *prefix)) - 1;
  AddressRange r{*address & ~hostBits, *address | hostBits};
  if (*prefix <= 30) ++r.first, --r.last;
  return r;
}

}  // namespace

bool AddressList::Contains(uint32_t ipv4) const {
  auto it = std::upper_bound(ranges.begin(), ranges.end(), ipv4,
                             [](uint32_t a, const AddressRange &r) { return a < r.first; });
  return it != ranges.begin() && ipv4 <= std::prev(it)->last;
}

AddressListError ParseAddressList(std::string_view text, uint64_t maxAddresses, AddressList &out) {
  std::vector<AddressRange> ranges;
  for (size_t at = 0; at < text.size();) {
    if (IsSeparator(text[at])) {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    auto r = Range(text.substr(at, end - at));
    if (!r) return AddressListError::kSyntax;
    ranges.push_back(*r);
    at = end;
  }
  std::sort(ranges.begin(), ranges.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
  AddressList list;
  for (const auto &r : ranges) {
    // Touching ranges merge too.
    if (!list.ranges.empty() && r.first <= uint64_t{list.ranges.back().last} + 1)
      list.ranges.back().last = std::max(list.ranges.back().last, r.last);
    else
      list.ranges.push_back(r);
  }
  for (const auto &r : list.ranges) list.count += uint64_t{r.last} - r.first + 1;
  if (list.count > maxAddresses) return AddressListError::kTooMany;
  out = std::move(list);
  return AddressListError::kNone;
}

void AddressCursor::Next() {
  const auto &r = m_list->ranges[m_range];
  if (r.first + m_offset == r.last) {
    ++m_range;
    m_offset = 0;
  } else {
    ++m_offset;
  }
}

}  // namespace commserver
