// The numeric-parse floor of loading a drawing, as a program of its own so
// that it can be timed from outside in turn with `kernavisto-cli info` (start,
// reading and exit included, as the user waits for them):
//   dxf_parse_floor PLAN.dxf
// reads the file whole into memory and parses every group code and every
// coordinate into numbers, keeping nothing; prints a checksum so that the
// work cannot be left out.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <string>

#include "scan_lines.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dxf_parse_floor PLAN.dxf\n");
        return 2;
    }
    int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            std::perror(argv[1]);
            return 1;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    char text[32];
    auto r = std::to_chars(text, text + sizeof text, scanLines(bytes, true));
    std::printf("%.*s\n", static_cast<int>(r.ptr - text), text);
    return 0;
}
