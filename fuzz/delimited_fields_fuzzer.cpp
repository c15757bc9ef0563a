// CountFields and GetField against the rules written a second time, plainly (reference_rules.h):
// any text, any delimiter, any index.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "sorting/delimited_fields.h"
#include "support/reference_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto index = input.ConsumeIntegral<std::int16_t>();
  const std::string delimiter = input.ConsumeRandomLengthString(8);
  const std::string text = input.ConsumeRemainingBytesAsString();

  if (pellorin::CountFields(text, delimiter) != pellorin::reference::CountFields(text, delimiter)) {
    std::fprintf(stderr, "CountFields differs from the rule\n");
    __builtin_trap();
  }
  if (pellorin::GetField(text, index, delimiter) !=
      pellorin::reference::GetField(text, index, delimiter)) {
    std::fprintf(stderr, "GetField differs from the rule for index %d\n", index);
    __builtin_trap();
  }
  return 0;
}
