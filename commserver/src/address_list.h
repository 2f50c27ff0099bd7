// The addresses a sweep covers: "a.b.c.d/p" networks and "a.b.c.d" hosts,
// kept as ranges so that a large network costs no memory per address.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace commserver {

// first..last inclusive, in host order.
struct AddressRange {
  uint32_t first = 0;
  uint32_t last = 0;
  bool operator==(const AddressRange &) const = default;
};

struct AddressList {
  std::vector<AddressRange> ranges;  // ascending, neither overlapping nor touching
  uint64_t count = 0;                // addresses in all ranges

  bool Contains(uint32_t ipv4) const;
};

enum class AddressListError { kNone, kSyntax, kTooMany };

// Networks and hosts separated by spaces, tabs or commas. A prefix up to 30
// leaves out the network's own address and its broadcast address (a /31 and
// a /32 keep both); host bits given with a prefix are ignored. Addresses
// named twice, or networks that overlap, count once. Octets are decimal 0-255
// without leading zeros. More than maxAddresses in all is kTooMany, found
// without listing them.
AddressListError ParseAddressList(std::string_view text, uint64_t maxAddresses, AddressList &out);

// Walks a list address by address.
class AddressCursor {
 public:
  explicit AddressCursor(const AddressList &list) : m_list(&list) {}
  bool Done() const { return m_range >= m_list->ranges.size(); }
  uint32_t Current() const { return m_list->ranges[m_range].first + m_offset; }
  void Next();

 private:
  const AddressList *m_list;
  size_t m_range = 0;
  uint32_t m_offset = 0;
};

}  // namespace commserver
