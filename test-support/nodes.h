// Special file-system nodes that the programs must never replace.
#pragma once

#include <string>

namespace support {

enum class Node { kFifo, kSocket, kCharacterDevice, kBlockDevice };

// Makes a node of that kind at path; false when it cannot be made here
// (device nodes need root; they get the null device's numbers).
bool make_node(const std::string& path, Node kind);
// Whether path is (still) a node of that kind.
bool is_node(const std::string& path, Node kind);
// How the programs name the kind: "a FIFO", "a character device", ...
const char* node_words(Node kind);

}  // namespace support
