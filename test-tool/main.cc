#include "cli.h"

int main(int argc, char** argv) { return dispatch(argc, argv); }
