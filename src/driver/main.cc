#include <iostream>

#include "driver/driver.h"

int main() {
  std::ios::sync_with_stdio(false);
  return korvant::RunSession(std::cin, std::cout, std::cerr);
}
