// Test helper: claims an instance number, prints it, and holds it until its standard input
// closes or it is killed. Prints 0 and the refusal text when every number is taken.
#include <cstdio>

#include "instance/instance_limit.h"

int main() {
  tarn::InstanceClaim claim;
  const int number = tarn::ClaimInstanceNumber(claim);
  std::printf("%d\n", number);
  std::fflush(stdout);
  if (number == 0) {
    std::fprintf(stderr, "%s\n", tarn::InstanceLimitMessage().c_str());
    return 1;
  }
  while (std::getchar() != EOF) {
  }
  return 0;
}
