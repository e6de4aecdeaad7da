#include "util/oid.h"

#include <cstdlib>
#include <cstring>

#include <ossp/uuid++.hh>

#include "util/convert.h"

namespace {

char* malloc_copy(const std::string& text) {
  char* buffer = static_cast<char*>(std::malloc(text.size() + 1));
  if (buffer == nullptr) return nullptr;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return buffer;
}

}  // namespace

char* get_oid_strkey(const std::string& station, const std::string& transaction,
                      const std::string& cheque) {
  if (station.empty() || transaction.empty()) return nullptr;
  int transaction_number = 0;
  if (_stoi(transaction, &transaction_number, nullptr, 10) != 0) return nullptr;
  int cheque_number = 1;
  _stoi(cheque, &cheque_number, nullptr, 10);  // unreadable: stays 1
  return malloc_copy("azs=" + station + "&trannum=" + transaction +
                     "&numcheck=" + n2str(cheque_number));
}

char* mk_uuid_v3(const char* name) {
  if (name == nullptr) return nullptr;
  uuid name_space;
  name_space.load("ns:OID");
  uuid id;
  id.make(UUID_MAKE_V3, &name_space, name);
  return id.string();  // allocated by the library with malloc
}

char* mk_uuid_v3(const std::string& name) { return mk_uuid_v3(name.c_str()); }
