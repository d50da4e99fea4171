// transdae-cli: the batch front end.
#include <iostream>

int main() {
  std::cerr << "transdae-cli: en construcción\n";
  return 2;
}
