// Order identifiers: the UUID that names a cheque towards the processing
// centre. It is derived from the cheque alone (station, transaction number,
// cheque number), so every party recomputes the same value with nothing
// stored: a name-based version 3 UUID in the ISO OID name space.
#ifndef NORVALEN_UTIL_OID_H_
#define NORVALEN_UTIL_OID_H_

#include <string>

// The key "azs=<station>&trannum=<transaction>&numcheck=<cheque>" in a
// buffer the caller releases with free. Station and transaction are copied
// as given; the cheque number is its leading decimal number re-printed (007
// gives 7), or 1 when the cheque text is empty or not a number. Null when
// the station is empty or the transaction text does not begin with a 32-bit
// decimal number.
char* get_oid_strkey(const std::string& station, const std::string& transaction,
                      const std::string& cheque);

// The version 3 UUID of the bytes of `name` (up to its first NUL) in the OID
// name space, as 36 lower-case characters 8-4-4-4-12, in a buffer the caller
// releases with free. A null name gives null. When the UUID library cannot
// allocate, its uuid_error_t reaches the caller.
char* mk_uuid_v3(const char* name);
char* mk_uuid_v3(const std::string& name);

#endif  // NORVALEN_UTIL_OID_H_
