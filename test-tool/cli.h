// The commands of plom-test, and the dispatch between them.
#pragma once

int dispatch(int argc, char** argv);

int run(int argc, char** argv);
int check(int argc, char** argv);
