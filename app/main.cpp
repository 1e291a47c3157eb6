#include "app/frontend.h"

int main(int argc, char** argv) {
  qmr::run_program(argc, argv);
}
