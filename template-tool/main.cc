#include "cli.h"

int main(int argc, char** argv) {
  return template_main(argc, argv);
}
