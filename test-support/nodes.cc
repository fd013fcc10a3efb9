#include "nodes.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace support {

static bool make_socket(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path)
    return false;
  path.copy(address.sun_path, path.size());
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0)
    return false;
  bool made = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return made;
}

bool make_node(const std::string& path, Node kind) {
  switch (kind) {
    case Node::kFifo: return mkfifo(path.c_str(), 0666) == 0;
    case Node::kSocket: return make_socket(path);
    case Node::kCharacterDevice:
      return geteuid() == 0 && mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    case Node::kBlockDevice:
      return geteuid() == 0 && mknod(path.c_str(), S_IFBLK | 0600, makedev(1, 3)) == 0;
  }
  return false;
}

bool is_node(const std::string& path, Node kind) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0)
    return false;
  switch (kind) {
    case Node::kFifo: return S_ISFIFO(st.st_mode);
    case Node::kSocket: return S_ISSOCK(st.st_mode);
    case Node::kCharacterDevice: return S_ISCHR(st.st_mode);
    case Node::kBlockDevice: return S_ISBLK(st.st_mode);
  }
  return false;
}

const char* node_words(Node kind) {
  switch (kind) {
    case Node::kFifo: return "a FIFO";
    case Node::kSocket: return "a socket";
    case Node::kCharacterDevice: return "a character device";
    case Node::kBlockDevice: return "a block device";
  }
  return "";
}

}  // namespace support
