// The benchmark input: ordinary lines of words, about half of them holding one
// of twenty names of the form @VARnn@.
#pragma once

#include <string>
#include <vector>

std::string make_corpus(size_t bytes);
// "@VAR00@=value-0" and so on, twenty of them.
std::vector<std::string> corpus_arguments();
