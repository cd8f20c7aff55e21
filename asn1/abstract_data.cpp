#include "asn1/abstract_data.h"

namespace ASN1 {

int lexicographic_compare_bytes(const char* first1, const char* last1, const char* first2,
                                const char* last2) {
  for (; first1 != last1 && first2 != last2; ++first1, ++first2) {
    const int a = static_cast<unsigned char>(*first1);
    const int b = static_cast<unsigned char>(*first2);
    if (a != b) return a - b;
  }
  if (first1 == last1) return first2 == last2 ? 0 : -1;
  return 1;
}

}  // namespace ASN1
