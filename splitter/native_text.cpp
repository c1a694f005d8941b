#include "quillmere/native_text.h"

#include <string>

namespace quillmere {

NativeString Native(std::string_view ascii) {
  return NativeString(ascii.begin(), ascii.end());
}

NativeString NativeDecimal(unsigned long long n) {
  return Native(std::to_string(n));
}

}  // namespace quillmere
